#include "SubtitleMuxing.h"

#include "SpumuxScript.h"

#include <QDir>
#include <QFile>

namespace {

// Draws every cue of a track into its own folder and returns spumux's description of it.
QString writePictures(const SubtitleTrack& track, const SubtitleCanvas& canvas,
                      const QString& folder) {
    QDir().mkpath(folder);
    QList<SpumuxEntry> entries;
    for (const SubtitleCue& cue : track.cues) {
        const SubtitlePicture picture = renderCue(cue, canvas);
        if (picture.image.isNull())
            continue;
        const QString image = QDir(folder).filePath(QStringLiteral("%1.png").arg(entries.size()));
        if (!picture.image.save(image, "PNG"))
            throw FFmpegError::fileFailed(image,
                                          QStringLiteral("Datei konnte nicht geschrieben werden"));
        entries.append({cue.start, cue.end, image, picture.x, picture.y, track.forced});
    }
    const QString script = QDir(folder).filePath(QStringLiteral("spumux.xml"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly) || file.write(spumuxScript(entries).toUtf8()) < 0)
        throw FFmpegError::fileFailed(script,
                                      QStringLiteral("Datei konnte nicht geschrieben werden"));
    return script;
}

} // namespace

QCoro::Task<QString> SubtitleMuxing::mux(FFmpegService& service, QString mpg, QString spumuxPath,
                                         QList<SubtitleTrack> tracks, SubtitleCanvas canvas,
                                         QString workFolder, LogCallback onLog,
                                         StageControl control) {
    onLog(QStringLiteral("=== spumux ==="));
    QString input = mpg;
    const QDir work(workFolder);
    for (int i = 0; i < tracks.size(); ++i) {
        const QString script =
            writePictures(tracks[i], canvas, work.filePath(QStringLiteral("spur%1").arg(i)));
        const QString output = work.filePath(QStringLiteral("untertitel%1.mpg").arg(i));
        const QStringList arguments{QStringLiteral("-s"), QString::number(i), script};
        const ToolFiles files{input, output};
        const ToolResult result =
            co_await service.runTool(spumuxPath, arguments, std::nullopt, control, files);
        result.throwIfFailed();
        // The stream before this one is needed no more, unless it is the MPEG file.
        if (input != mpg)
            QFile::remove(input);
        input = output;
        onLog(QStringLiteral("Untertitelspur %1 eingefügt (%2 Bilder)")
                  .arg(i + 1)
                  .arg(tracks[i].cues.size()));
    }
    co_return input;
}
