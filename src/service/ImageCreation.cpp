#include "FFmpegService.h"
#include "FileNames.h"
#include "IsoImage.h"
#include "platform/FileChecks.h"

QCoro::Task<QString> FFmpegService::createISO(QString dvdFolder, QString hdiutilPath,
                                              QString volumeName, QString isoTarget,
                                              LogCallback onLog, StageControl control) {
    if (!isExecutableFile(hdiutilPath))
        throw FFmpegError::toolNotFound(hdiutilPath);
    const QString basePath = isoBasePath(isoTarget);
    const QString isoFile = basePath + QStringLiteral(".iso");

    onLog(QStringLiteral("=== hdiutil makehybrid (ISO) ==="));
    onLog(QStringLiteral("Quelle: ") + dvdFolder);
    onLog(QStringLiteral("Ziel: ") + isoFile);
    const ToolResult result = co_await runTool(
        hdiutilPath, hdiutilArguments(volumeName, basePath, dvdFolder), std::nullopt, control);
    result.reportTo(onLog);
    co_return isoFile;
}
