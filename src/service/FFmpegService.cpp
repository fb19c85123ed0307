#include "FFmpegService.h"

#include "ChildProcess.h"
#include "DiscBurning.h"
#include "DvdAuthoring.h"
#include "ImageCreation.h"
#include "LineSplitter.h"
#include "MediaProbe.h"
#include "PalEncode.h"

#include "platform/ProcessSignals.h"

FFmpegService::FFmpegService(QObject* parent)
    : QObject(parent)
    , m_burnerBackend(makeLibburnBackend()) {}

FFmpegService::~FFmpegService() {
    // No tool outlives the service, a suspended one included.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        killProcess(*process);
        process->waitForFinished(3000);
    }
}

void FFmpegService::setBurnerBackend(std::unique_ptr<BurnerBackend> backend) {
    m_burnerBackend = std::move(backend);
}

QCoro::Task<ToolResult> FFmpegService::runTool(QString path, QStringList arguments,
                                               std::optional<Environment> environment,
                                               StageControl control,
                                               std::optional<ToolFiles> files) {
    ChildProcess child(this, path, arguments, environment);
    QProcess& process = child.process();
    if (files) {
        process.setStandardInputFile(files->input);
        process.setStandardOutputFile(files->output);
    }
    // Both pipes are drained while the tool runs, so a tool that writes more than a pipe holds
    // is never left blocked.
    QByteArray output;
    QByteArray errorOutput;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [&] { output += process.readAllStandardOutput(); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [&] { errorOutput += process.readAllStandardError(); });

    co_await child.start();
    const auto running = control.track(process);
    co_await child.exited(control.stopToken());
    output += process.readAllStandardOutput();
    errorOutput += process.readAllStandardError();
    co_return ToolResult{child.status(), QString::fromUtf8(output), QString::fromUtf8(errorOutput),
                         child.killedBySignal()};
}

QCoro::Task<> FFmpegService::runToolStreaming(QString path, QStringList arguments,
                                              LogCallback onLog, StageControl control) {
    ChildProcess child(this, path, arguments, std::nullopt);
    QProcess& process = child.process();
    process.setStandardOutputFile(QProcess::nullDevice());

    // Only the last line is kept for the reason of a failure: the output may be long.
    QString lastLine;
    LineSplitter lines([&](const QString& line) {
        onLog(line);
        if (!line.trimmed().isEmpty())
            lastLine = line;
    });
    const std::stop_token stop = control.stopToken();
    QObject::connect(&process, &QProcess::readyReadStandardError, &process, [&] {
        if (!stop.stop_requested())
            lines.feed(process.readAllStandardError());
    });

    co_await child.start();
    const auto running = control.track(process);
    co_await child.exited(stop);
    // A failing tool writes its reason last: read what is still in the pipe, and the last line
    // even without a delimiter.
    lines.feed(process.readAllStandardError());
    lines.finish();
    ToolResult{child.status(), {}, lastLine, child.killedBySignal()}.throwIfFailed();
}

QCoro::Task<VideoProbe> FFmpegService::probeVideo(QString input, QString ffprobePath,
                                                  LogCallback onLog, StageControl control) {
    return MediaProbe::probe(*this, std::move(input), std::move(ffprobePath), std::move(onLog),
                             std::move(control));
}

QCoro::Task<PlannedConversion> FFmpegService::planConversion(QString input, QString ffmpegPath,
                                                             EncodeSettings settings,
                                                             LogCallback onLog, LogCallback onNote,
                                                             StageControl control) {
    return PalEncode::plan(*this, std::move(input), std::move(ffmpegPath), std::move(settings),
                           std::move(onLog), std::move(onNote), std::move(control));
}

QCoro::Task<DiscTitle> FFmpegService::runConversion(PlannedConversion planned, QString output,
                                                    ProgressCallback onProgress, LogCallback onLog,
                                                    LogCallback onNote, StageControl control,
                                                    ProjectionCallback onProjection) {
    return PalEncode::run(*this, std::move(planned), std::move(output), std::move(onProgress),
                          std::move(onLog), std::move(onNote), std::move(control),
                          std::move(onProjection));
}

QCoro::Task<DiscTitle> FFmpegService::convert(QString input, QString output, QString ffmpegPath,
                                              EncodeSettings settings, ProgressCallback onProgress,
                                              LogCallback onLog, LogCallback onNote,
                                              StageControl control) {
    return PalEncode::convert(*this, std::move(input), std::move(output), std::move(ffmpegPath),
                              std::move(settings), std::move(onProgress), std::move(onLog),
                              std::move(onNote), std::move(control));
}

QCoro::Task<QString> FFmpegService::createVideoTS(QString mpg, QString dvdauthorPath,
                                                  LogCallback onLog, DiscTitle title,
                                                  StageControl control) {
    return DvdAuthoring::createVideoTS(*this, std::move(mpg), std::move(dvdauthorPath),
                                       std::move(onLog), std::move(title), std::move(control));
}

QCoro::Task<QString> FFmpegService::createISO(QString dvdFolder, QString genisoimagePath,
                                              QString volumeName, QString isoTarget,
                                              LogCallback onLog, StageControl control) {
    return ImageCreation::createISO(*this, std::move(dvdFolder), std::move(genisoimagePath),
                                    std::move(volumeName), std::move(isoTarget), std::move(onLog),
                                    std::move(control));
}

QCoro::Task<> FFmpegService::burnISO(QString iso, bool verify, bool eraseBeforeBurn,
                                     ProgressCallback onProgress, StatusCallback onStatus,
                                     LogCallback onLog, StageControl control) {
    return DiscBurning::burnISO(*this, *m_burnerBackend, std::move(iso), verify, eraseBeforeBurn,
                                std::move(onProgress), std::move(onStatus), std::move(onLog),
                                std::move(control));
}
