#include "ImageCreation.h"
#include "FileNames.h"
#include "PendingFile.h"
#include "platform/FileChecks.h"

QCoro::Task<QString> ImageCreation::createISO(FFmpegService& service, QString dvdFolder,
                                              QString genisoimagePath, QString volumeName,
                                              QString isoTarget, LogCallback onLog,
                                              StageControl control) {
    if (!isExecutableFile(genisoimagePath))
        throw FFmpegError::toolNotFound(genisoimagePath);
    const QString isoFile = besideWithSuffix(isoTarget, QStringLiteral(".iso"));

    onLog(QStringLiteral("=== genisoimage (ISO) ==="));
    onLog(QStringLiteral("Quelle: ") + dvdFolder);
    onLog(QStringLiteral("Ziel: ") + isoFile);
    PendingFile image(isoFile);
    // ISO 9660 with the UDF bridge that DVD players expect; -dvd-video places the VIDEO_TS files
    // as players need them. Quiet, so that the reason of a failure (a full disk too) is the last
    // line genisoimage writes.
    QStringList arguments{QStringLiteral("-dvd-video"), QStringLiteral("-udf"),
                          QStringLiteral("-quiet"), QStringLiteral("-V")};
    arguments << volumeName << QStringLiteral("-o") << image.path() << dvdFolder;
    const ToolResult result =
        co_await service.runTool(genisoimagePath, arguments, std::nullopt, control);
    result.reportTo(onLog);
    image.complete();
    co_return isoFile;
}
