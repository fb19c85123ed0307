#include "DvdAuthoring.h"
#include "FileNames.h"
#include "SubtitleMuxing.h"
#include "platform/FileChecks.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// Removes what an earlier authoring left in the DVD folder, so that dvdauthor does not add a
// second title set beside the old one: the DVD-Video files in VIDEO_TS, VIDEO_TS itself when
// that leaves it empty, and an empty AUDIO_TS. Returns what was removed, for the log.
QStringList removeEarlierAuthoring(const QString& dvdFolder) {
    QStringList removed;
    QDir videoTS(QDir(dvdFolder).filePath(QStringLiteral("VIDEO_TS")));
    int files = 0;
    for (const QString& name : videoTS.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!isDvdVideoFile(name))
            continue;
        if (!videoTS.remove(name))
            throw FFmpegError::fileFailed(videoTS.filePath(name),
                                          QStringLiteral("Datei konnte nicht gelöscht werden"));
        ++files;
    }
    if (files > 0) {
        removed << QStringLiteral("VIDEO_TS (%1 Dateien)").arg(files);
        QDir(dvdFolder).rmdir(QStringLiteral("VIDEO_TS"));
    }
    // rmdir leaves a folder that holds anything.
    if (QDir(dvdFolder).rmdir(QStringLiteral("AUDIO_TS")))
        removed << QStringLiteral("AUDIO_TS");
    return removed;
}

// spumux comes with dvdauthor and lies beside it.
QString spumuxPathFor(const QString& dvdauthorPath) {
    const qsizetype slash = dvdauthorPath.lastIndexOf(u'/');
    return dvdauthorPath.left(slash + 1) + QStringLiteral("spumux");
}

} // namespace

QCoro::Task<QString> DvdAuthoring::createVideoTS(FFmpegService& service, QString mpg,
                                                 QString dvdauthorPath, LogCallback onLog,
                                                 DiscTitle title, StageControl control) {
    if (!isExecutableFile(dvdauthorPath))
        throw FFmpegError::toolNotFound(dvdauthorPath);

    const QString dvdFolder = dvdFolderFor(mpg);
    if (!QDir().mkpath(dvdFolder))
        throw FFmpegError::fileFailed(dvdFolder,
                                      QStringLiteral("Ordner konnte nicht angelegt werden"));

    onLog(QStringLiteral("=== dvdauthor ==="));
    onLog(QStringLiteral("DVD Ordner: ") + dvdFolder);
    const QStringList removed = removeEarlierAuthoring(dvdFolder);
    if (!removed.isEmpty())
        onLog(QStringLiteral("Lösche die DVD-Dateien des letzten Laufs: ") +
              removed.join(QStringLiteral(", ")));

    // The sub-pictures go into a copy of the stream beside the MPEG file, which stays as it is.
    QString stream = QFileInfo(mpg).absoluteFilePath();
    std::optional<QTemporaryDir> work;
    if (!title.subtitles.isEmpty()) {
        work.emplace(QFileInfo(stream).dir().filePath(QStringLiteral(".untertitel-XXXXXX")));
        if (!work->isValid())
            throw FFmpegError::fileFailed(work->path(),
                                          QStringLiteral("Ordner konnte nicht angelegt werden"));
        stream = co_await SubtitleMuxing::mux(service, stream, spumuxPathFor(dvdauthorPath),
                                              title.subtitles, title.subtitleCanvas, work->path(),
                                              onLog, control);
    }

    const Environment pal{{QStringLiteral("VIDEO_FORMAT"), QStringLiteral("PAL")}};
    const QList<QStringList> runs{
        titleSetArguments(stream, dvdFolder, title),
        {QStringLiteral("-T"), QStringLiteral("-o"), dvdFolder},
    };
    for (const QStringList& arguments : runs) {
        const ToolResult result = co_await service.runTool(dvdauthorPath, arguments, pal, control);
        result.reportTo(onLog);
    }

    const QString videoTS = QDir(dvdFolder).filePath(QStringLiteral("VIDEO_TS"));
    if (!QFileInfo::exists(videoTS))
        onLog(QStringLiteral("Warnung: VIDEO_TS wurde nicht gefunden unter ") + videoTS);
    co_return dvdFolder;
}
