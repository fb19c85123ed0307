#include "FFmpegService.h"
#include "FileNames.h"
#include "platform/FileChecks.h"

#include <QDir>
#include <QFileInfo>

QCoro::Task<QString> FFmpegService::createVideoTS(QString mpg, QString dvdauthorPath,
                                                  LogCallback onLog, StageControl control) {
    if (!isExecutableFile(dvdauthorPath))
        throw FFmpegError::toolNotFound(dvdauthorPath);

    const QString dvdFolder = dvdFolderFor(mpg);
    if (!QDir().mkpath(dvdFolder))
        throw FFmpegError::fileFailed(dvdFolder,
                                      QStringLiteral("Ordner konnte nicht angelegt werden"));

    onLog(QStringLiteral("=== dvdauthor ==="));
    onLog(QStringLiteral("DVD Ordner: ") + dvdFolder);

    const Environment pal{{QStringLiteral("VIDEO_FORMAT"), QStringLiteral("PAL")}};
    const QList<QStringList> runs{
        {QStringLiteral("-t"), QFileInfo(mpg).absoluteFilePath(), QStringLiteral("-o"), dvdFolder},
        {QStringLiteral("-T"), QStringLiteral("-o"), dvdFolder},
    };
    for (const QStringList& arguments : runs) {
        const ToolResult result = co_await runTool(dvdauthorPath, arguments, pal, control);
        result.reportTo(onLog);
    }

    const QString videoTS = QDir(dvdFolder).filePath(QStringLiteral("VIDEO_TS"));
    if (!QFileInfo::exists(videoTS))
        onLog(QStringLiteral("Warnung: VIDEO_TS wurde nicht gefunden unter ") + videoTS);
    co_return dvdFolder;
}
