#pragma once

#include "FFmpegService.h"

#include <QCoroTask>

class PendingFile;

#include <functional>
#include <memory>
#include <optional>

// One stage of a run as an object: the encode, the authoring, the image or the burn. The job owns
// what its stage runs, through its StageControl (the tool, or the burn); the window's pause,
// resume and abort reach it only through suspend(), resume() and cancel(). It reports through
// the callbacks it was made with and ends once, with what it made, with the FFmpegError that
// stopped it, or cancelled.
class StageJob {
public:
    struct Reports {
        LogCallback log;
        ProgressCallback progress = [](double) {};
        StatusCallback status = [](BurnState, const QString&) {};
        // Lines for the user's log, whatever is kept of the tools' lines.
        LogCallback note = [](const QString&) {};
        // The image size projected from what the encode wrote so far.
        ProjectionCallback projection = [](qint64) {};
    };

    // Judges a planned encode before anything is written: throws an FFmpegError to refuse it.
    using EncodeCheck = std::function<void(const PlannedConversion&)>;

    // What a stage made: the MPEG file, the DVD folder or the image; for the encode also what
    // the disc is to say about the title (language, chapters).
    struct Product {
        QString path;
        std::optional<DiscTitle> title;
    };

    struct Ending {
        enum class Kind { succeeded, failed, cancelled };
        Kind kind = Kind::succeeded;
        Product product;
        std::optional<FFmpegError> error; // why it failed; cancelled() when it was cancelled
    };

    static std::unique_ptr<StageJob> encode(FFmpegService& service, QString input, QString output,
                                            QString ffmpegPath, EncodeSettings settings,
                                            EncodeCheck check, Reports reports);
    static std::unique_ptr<StageJob> authoring(FFmpegService& service, QString mpg,
                                               QString dvdauthorPath, DiscTitle title,
                                               Reports reports);
    static std::unique_ptr<StageJob> image(FFmpegService& service, QString dvdFolder,
                                           QString genisoimagePath, QString volumeName,
                                           QString isoTarget, Reports reports);
    static std::unique_ptr<StageJob> burn(FFmpegService& service, QString iso, bool verify,
                                          bool eraseBeforeBurn, Reports reports);

    ~StageJob();

    void suspend() { m_control.suspend(); }
    void resume() { m_control.resume(); }
    void cancel() { m_control.cancel(); }

    // Runs the stage to its end. Never throws: every ending is an Ending.
    QCoro::Task<Ending> run();

private:
    using Work = std::function<QCoro::Task<Product>(StageControl)>;
    explicit StageJob(Work work);

    Work m_work;
    StageControl m_control;
    // What the stage writes until it is complete; removed with the job when never completed.
    std::unique_ptr<PendingFile> m_output;
};
