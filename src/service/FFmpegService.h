#pragma once

#include "EncodePlan.h"
#include "FFmpegError.h"
#include "ServiceTypes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QCoroTask>

#include <mutex>
#include <optional>
#include <stop_token>

// The conversion service: runs the external tools as child processes on the UI thread, probes
// the source, encodes the PAL DVD stream, authors the DVD folder and burns the image. Running
// work reports only through the callbacks of each call, always on the UI thread. Every
// operation that may be aborted takes the stop token of its stage; failures are FFmpegError.
class FFmpegService : public QObject {
    Q_OBJECT

public:
    explicit FFmpegService(QObject* parent = nullptr);
    ~FFmpegService() override;

    // The one tool that is running, for the window's pause, resume and abort. Read and written
    // only while processLock is held.
    std::mutex processLock;
    QPointer<QProcess> currentProcess;

    // Runs a tool to its end and returns its exit status with everything it wrote. A non-zero
    // status is no failure; a tool that cannot be started fails with launchFailed.
    QCoro::Task<ToolResult> runTool(QString path, QStringList arguments,
                                    std::optional<Environment> environment = std::nullopt,
                                    std::stop_token stop = {});

    // Runs a tool and hands every line of its standard error to onLog as it arrives, and to the
    // progress parser when a duration is known. A non-zero status fails with conversionFailed.
    QCoro::Task<> runToolStreaming(QString path, QStringList arguments,
                                   std::optional<double> duration, ProgressCallback onProgress,
                                   LogCallback onLog, std::stop_token stop = {});

    QCoro::Task<VideoProbe> probeVideo(QString input, QString ffprobePath, LogCallback onLog,
                                       std::stop_token stop = {});
    QCoro::Task<QList<AudioStreamInfo>> probeAudioStreams(QString input, QString ffprobePath,
                                                          std::stop_token stop = {});

    // Encodes input into a PAL DVD MPEG-2 program stream at output.
    QCoro::Task<> convert(QString input, QString output, QString ffmpegPath,
                          EncodeSettings settings, ProgressCallback onProgress, LogCallback onLog,
                          std::stop_token stop = {});
};
