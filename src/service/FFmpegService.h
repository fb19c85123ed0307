#pragma once

#include "EncodePlan.h"
#include "FFmpegError.h"
#include "ServiceTypes.h"
#include "StageControl.h"
#include "platform/BurnerBackend.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

// An encode planned before it runs: the source as the probe found it, and what the encode does
// with it, its bitrates and expected size included.
struct PlannedConversion {
    QString input;
    QString ffmpegPath;
    EncodeSettings settings;
    VideoProbe probe;
    EncodePlan plan;
};

// The conversion service: runs the external tools as child processes on the UI thread, probes
// the source, encodes the PAL DVD stream, authors the DVD folder, builds the image and burns it.
// Running work reports only through the callbacks of each call, always on the UI thread. Every
// operation is steered through the StageControl it is given (cancel, suspend, resume); a
// cancelled operation fails with FFmpegError::cancelled(), every failure is an FFmpegError.
// Stages are run as StageJobs (StageJob.h), which own their control.
class FFmpegService : public QObject {
    Q_OBJECT

public:
    explicit FFmpegService(QObject* parent = nullptr);
    ~FFmpegService() override;

    // Where burns go; libburn's drives unless a test hands in another.
    void setBurnerBackend(std::unique_ptr<BurnerBackend> backend);

    // Runs a tool to its end and returns its exit status with everything it wrote. A non-zero
    // status is no failure; a tool that cannot be started fails with launchFailed. With files,
    // the tool reads its standard input from one file and writes its standard output to another.
    QCoro::Task<ToolResult> runTool(QString path, QStringList arguments,
                                    std::optional<Environment> environment = std::nullopt,
                                    StageControl control = {},
                                    std::optional<ToolFiles> files = std::nullopt);

    // Runs a tool and hands every line of its standard error to onLog as it arrives. Ends as
    // ToolResult::throwIfFailed does, with the tool's last line or the signal that ended it.
    QCoro::Task<> runToolStreaming(QString path, QStringList arguments, LogCallback onLog,
                                   StageControl control = {});

    // Probes every stream of the source in one ffprobe run. Without ffprobe the probe is skipped
    // with a note to onLog and knows nothing; fails with ffprobeFailed or unreadableOutput.
    QCoro::Task<VideoProbe> probeVideo(QString input, QString ffprobePath, LogCallback onLog,
                                       StageControl control = {});

    // Probes the source and plans its encode, before anything is written, and logs the summary
    // of the plan. onNote gets the lines meant for the user whatever is kept of the tools'
    // lines: here the expected size of the image. Fails with toolNotFound, a failure of the
    // probe, noVideoStream, or tooLongForDisc when "Passend" cannot fit the film on the disc.
    QCoro::Task<PlannedConversion> planConversion(QString input, QString ffmpegPath,
                                                  EncodeSettings settings, LogCallback onLog,
                                                  LogCallback onNote, StageControl control = {});

    // Encodes a planned conversion into a PAL DVD MPEG-2 program stream at output and returns
    // what the disc should say about it (language and chapters). onNote gets, once a tenth is
    // encoded, the size of the image projected from the bytes written so far. An encode that
    // ffmpeg ends early without an error fails with incompleteSource.
    QCoro::Task<DiscTitle> runConversion(PlannedConversion planned, QString output,
                                         ProgressCallback onProgress, LogCallback onLog,
                                         LogCallback onNote, StageControl control = {},
                                         ProjectionCallback onProjection = {});

    // planConversion and runConversion in one.
    QCoro::Task<DiscTitle> convert(QString input, QString output, QString ffmpegPath,
                                   EncodeSettings settings, ProgressCallback onProgress,
                                   LogCallback onLog, LogCallback onNote,
                                   StageControl control = {});

    // Authors a DVD-Video folder beside the MPEG file with two dvdauthor runs and returns it,
    // after removing the DVD-Video files an earlier authoring left there. The title carries
    // the audio language and chapters that convert returned.
    // Without a title (an MPEG file nothing is known of) the disc has no language and one chapter.
    QCoro::Task<QString> createVideoTS(QString mpg, QString dvdauthorPath, LogCallback onLog,
                                       DiscTitle title = {}, StageControl control = {});

    // Builds the DVD-Video image of a DVD folder with genisoimage at isoTarget (its last extension
    // replaced by ".iso") and returns the image file. The image gets its name only when it is
    // complete: a failed or cancelled run leaves an older image there as it was.
    QCoro::Task<QString> createISO(QString dvdFolder, QString genisoimagePath, QString volumeName,
                                   QString isoTarget, LogCallback onLog, StageControl control = {});

    // Burns the image to a blank DVD, optionally erasing a rewritable disc first and reading the
    // written sectors back afterwards. Each new state of the burn goes to onStatus and onLog
    // once. Fails with conversionFailed: -1 no burner, -2 unreadable image, -3 the burn failed;
    // or with cancelled when the stage is cancelled.
    QCoro::Task<> burnISO(QString iso, bool verify, bool eraseBeforeBurn,
                          ProgressCallback onProgress, StatusCallback onStatus, LogCallback onLog,
                          StageControl control = {});

private:
    std::unique_ptr<BurnerBackend> m_burnerBackend;
};

// The German status text of a burn state.
QString burnStateText(BurnState state);
