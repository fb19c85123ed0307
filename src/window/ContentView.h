#pragma once

#include "ActivityLog.h"
#include "FFmpegService.h"
#include "platform/FilePanels.h"
#include "platform/StoredSettings.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <stop_token>

// The MPEG file proposed for a source: beside it, "_PAL_DVD.mpg" in place of its extension.
QString destinationFor(const QString& source);

// The main window's whole workflow: the chosen files, the chain toggles, the options, the run
// state with its status and log, and the operations that run the stages on its one
// FFmpegService. Widgets only bind to it; every change is announced through changed().
class ContentView : public QObject {
    Q_OBJECT

public:
    explicit ContentView(FilePanels& filePanels, QObject* parent = nullptr);
    ~ContentView() override;

    // Files
    std::optional<QString> sourceURL;
    std::optional<QString> destinationURL;
    std::optional<QString> dvdFolderURL;
    std::optional<QString> isoURL;

    // Chain toggles and the volume name; not stored.
    bool createVideoTSAfterConvert = true;
    bool createISOAfterVideoTS = true;
    bool burnAfterISO = false;
    QString isoVolumeName = QStringLiteral("DVD_VIDEO");

    QList<AudioStreamInfo> audioStreams;
    bool isLoadingAudioStreams = false;

    // Run state
    bool isRunning() const { return m_isRunning; }
    bool isPaused = false;
    double progress = 0;
    QString statusText = QStringLiteral("Bereit.");
    QString logText() const { return m_log.text(); }
    QString currentPhaseLabel = QStringLiteral("Start");
    double burnProgressValue = 0;
    bool waitingPulse = false;
    std::optional<QDateTime> encodingStartTime;
    bool etaLogged = false;
    std::optional<QString> dotLineBase;
    int dotCount = 0;

    // Tools check
    bool toolsOK = false;
    bool showMissingToolsAlert = false;
    QString missingToolsMessage;

    // The nine stored settings, shared with the settings window.
    StoredSettings settings;
    FFmpegService service;

    // Clock time in the user's short format, as the messages show it.
    static QString timeFormatter(const QDateTime& moment);

    // Run control
    void startConversion();
    void togglePause();
    void abortRun();

    // Post-encode stages, each from its button
    void startVideoTSRun();
    void startISORun();
    void startBurnRun();

    // Log
    void appendLog(const QString& line);
    void handleToolLogLine(const QString& line);
    void startDotPulse(const QString& text);
    void stopDotPulse();
    void saveLog();
    void clearLog();

    // Tools and audio streams
    void checkTools();
    QCoro::Task<> reloadAudioStreams();
    // reloadAudioStreams as a task of its own, for the "↻" button.
    void startReloadAudioStreams();
    void applyAudioStreams(const QList<AudioStreamInfo>& list);

    // File panels
    void chooseSource();
    void chooseDestination();
    void chooseISODestination();

    // Writes that change more than the field itself.
    void setBurnAfterISO(bool on);

    // Announces a change of the state to the widgets, once per turn of the event loop.
    void notifyChanged();

signals:
    void changed();

private:
    // One run: the task of a stage button or of the encode with its chain.
    struct StageTask {
        std::stop_source stop;
        quint64 generation = 0;
    };
    enum class RunKind { Chained, VideoTS, ISO, Burn };
    using Task = std::shared_ptr<StageTask>;

    // Run control
    Task beginRun(const QString& status, const QString& phaseLabel);
    void setRunning(bool running);
    void onRunningChanged(bool running);
    QCoro::Task<> runConversionStage(Task task, QString source, QString destination);
    void updateEncodeProgress(double fraction);
    void finishConversion();
    void failConversion(const FFmpegError& error);
    bool isCurrent(const Task& task) const;
    // After an awaited step: lets the jobs it scheduled run, then stops here if the run was
    // aborted or has been replaced by a newer one.
    QCoro::Task<> settle(Task task);
    // Whether the ending of an ended task may still show itself: not when a newer run started.
    bool endingApplies(const Task& task) const;
    // Every failing ending goes through here: "Abgebrochen." for an aborted run, otherwise
    // the reason the tool gave and "Fehler ❌ …".
    void showFailure(const Task& task, const FFmpegError& error, RunKind kind);
    // "Abgebrochen." or "Fehler ❌ " with the error's description.
    static QString failureText(const FFmpegError& error);

    // Post-encode stages
    QCoro::Task<> runPostEncodeChain(Task task, RunKind kind, QString mpg);
    // The ISO run and the burn run: one stage and its failure ending.
    template <typename T>
    QCoro::Task<> runSingleStage(Task task, RunKind kind, QCoro::Task<T> stage);
    QCoro::Task<QString> runVideoTSStage(Task task, RunKind kind, QString mpg);
    QCoro::Task<QString> runISOStage(Task task, RunKind kind, QString dvdFolder);
    QCoro::Task<> runBurnStage(Task task, RunKind kind, QString iso);
    void handleBurnProgress(double fraction);
    void handleBurnStatusText(const QString& text);
    void finishBurnRun();
    void failStageRun(const FFmpegError& error);
    void failISORun(const FFmpegError& error);
    void logStatus();

    // Each callback of a service operation becomes a separate job on the UI thread, run in the
    // order of the calls.
    void schedule(std::function<void()> job);
    LogCallback toolLogger();
    // Starts a task that nobody awaits; a failure it did not expect still ends the run.
    void launch(QCoro::Task<> task);

    void renderDotLine();
    void pulseStep();

    FilePanels& m_filePanels;
    ActivityLog m_log;
    bool m_isRunning = false;
    Task currentTask;
    quint64 m_generation = 0;
    QTimer dotLogTask;
    bool m_changePending = false;
};
