#pragma once

#include "EncodePlan.h"
#include "FFmpegError.h"
#include "ServiceTypes.h"
#include "Wakeup.h"
#include "platform/BurnerBackend.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>

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

    // The burn in progress, for the window's abort. Written only while burnLock is held.
    std::mutex burnLock;
    DiscBurn* currentBurn = nullptr;

    // The one tool that is running, for the window's pause, resume and abort. Read and written
    // only while processLock is held.
    std::mutex processLock;
    QPointer<QProcess> currentProcess;

    // Where burns go; libburn's first optical drive unless a test hands in another.
    void setBurnerBackend(std::unique_ptr<BurnerBackend> backend);

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

    // Encodes input into a PAL DVD MPEG-2 program stream at output and returns what the disc
    // should say about it (language and chapters). An encode that ffmpeg ends early without an
    // error fails with incompleteSource.
    QCoro::Task<DiscTitle> convert(QString input, QString output, QString ffmpegPath,
                                   EncodeSettings settings, ProgressCallback onProgress,
                                   LogCallback onLog, std::stop_token stop = {});

    // Authors a DVD-Video folder beside the MPEG file with two dvdauthor runs and returns it,
    // after removing the DVD-Video files an earlier authoring left there. The title carries
    // the audio language and chapters that convert returned.
    QCoro::Task<QString> createVideoTS(QString mpg, QString dvdauthorPath, LogCallback onLog,
                                       DiscTitle title, std::stop_token stop = {});
    // For an MPEG file nothing is known of: no language, one chapter.
    QCoro::Task<QString> createVideoTS(QString mpg, QString dvdauthorPath, LogCallback onLog,
                                       std::stop_token stop = {});

    // Burns the image to the disc in the first burner, optionally erasing a rewritable disc first
    // and reading the written sectors back afterwards. Fails with conversionFailed: -1 no
    // burner, -2 unreadable image, -3 the burn failed.
    QCoro::Task<> burnISO(QString iso, bool verify, bool eraseBeforeBurn,
                          ProgressCallback onProgress, StatusCallback onStatus, LogCallback onLog,
                          std::stop_token stop = {});

    // Hands one report of the current burn to the callbacks of burnISO, each new state once,
    // and resumes burnISO when the burn is done or has failed.
    void handleBurnStatus(const BurnReport& report);

private:
    // The waiting burnISO call, resumed exactly once.
    struct BurnContinuation {
        Wakeup* wakeup;
        std::optional<FFmpegError>* error;
    };

    std::unique_ptr<BurnerBackend> m_burnerBackend;
    std::optional<BurnContinuation> burnContinuation;
    ProgressCallback burnOnProgress;
    StatusCallback burnOnStatus;
    LogCallback burnOnLog;
    BurnState burnLastState = BurnState::none;
};

// The German status text of a burn state.
QString burnStateText(BurnState state);

// The DVD folder of an MPEG file: beside it, named after it without its last extension, with
// "_DVD" appended.
QString dvdFolderFor(const QString& mpg);
