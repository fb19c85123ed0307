#include "ChildProcess.h"
#include "FFmpegService.h"
#include "LineSplitter.h"

QCoro::Task<ToolResult> FFmpegService::runTool(QString path, QStringList arguments,
                                               std::optional<Environment> environment,
                                               StageControl control) {
    ChildProcess child(this, path, arguments, environment);
    QProcess& process = child.process();
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
