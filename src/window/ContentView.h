#pragma once

#include "Announced.h"
#include "DiscFill.h"
#include "DiscRun.h"
#include "FFmpegService.h"
#include "inputs/SourceFiles.h"
#include "log/ActivityLog.h"
#include "platform/Clock.h"
#include "platform/FilePanels.h"
#include "platform/StoredSettings.h"
#include "run/RunPlan.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

// The main window's whole workflow: the chosen files, the chain toggles, the options, the run
// state with its status and log, and the runs, made of the service's stage jobs. Widgets only
// bind to it: they read the state below and change it through the operations; every change is
// announced through changed(), once per turn of the event loop.
class ContentView : public QObject, private Announcer {
    Q_OBJECT

public:
    explicit ContentView(FilePanels& filePanels, const Clock& clock = Clock::system(),
                         QObject* parent = nullptr);
    ~ContentView() override;

    // Files
    Announced<std::optional<QString>> sourceURL{*this, {}};
    Announced<std::optional<QString>> destinationURL{*this, {}};
    Announced<std::optional<QString>> dvdFolderURL{*this, {}};
    Announced<std::optional<QString>> isoURL{*this, {}};

    // Chain toggles and the volume name; not stored.
    Announced<bool> createVideoTSAfterConvert{*this, true};
    Announced<bool> createISOAfterVideoTS{*this, true};
    Announced<bool> burnAfterISO{*this, false};
    Announced<QString> isoVolumeName{*this, QStringLiteral("DVD_VIDEO")};

    Announced<QList<AudioStreamInfo>> audioStreams{*this, {}};
    // The subtitle tracks of the source and beside it, read with its audio streams.
    Announced<QList<SubtitleTrack>> subtitleTracks{*this, {}};
    Announced<bool> isLoadingAudioStreams{*this, false};
    // How full the chosen disc gets: expected from the source and the choices, projected from
    // the bytes written while an encode runs; nothing while neither is known.
    std::optional<DiscFill> discFill() const;

    // Run state
    Announced<bool> isRunning{*this, false};
    Announced<bool> isPaused{*this, false};
    // Whether the stage that runs can be paused: a burn cannot.
    Announced<bool> canPause{*this, false};
    Announced<double> progress{*this, 0};
    Announced<QString> statusText{*this, QStringLiteral("Bereit.")};
    Announced<QString> currentPhaseLabel{*this, QStringLiteral("Start")};
    Announced<double> burnProgressValue{*this, 0};
    Announced<std::optional<QDateTime>> encodingStartTime{*this, {}};
    Announced<std::optional<QDateTime>> expectedEnd{*this, {}};
    Announced<std::optional<qint64>> projectedImageBytes{*this, {}};
    Announced<bool> etaLogged{*this, false};
    Announced<std::optional<QString>> dotLineBase{*this, {}};
    Announced<int> dotCount{*this, 0};
    QString logText() const { return m_log.text(); }

    // Tools check
    Announced<bool> toolsOK{*this, false};
    Announced<bool> showMissingToolsAlert{*this, false};
    Announced<QString> missingToolsMessage{*this, {}};

    // The stored settings, shared with the settings window; every write is announced.
    StoredSettings& settings() { return m_settings; }
    const StoredSettings& settings() const { return m_settings; }
    FFmpegService& service() { return m_service; }

    // Inputs
    void setCreateVideoTSAfterConvert(bool on);
    void setCreateISOAfterVideoTS(bool on);
    // Switching burning on opens the ISO section, switching it off closes it.
    void setBurnAfterISO(bool on);
    // The name as typed; it is kept normalised (see sanitizeVolumeName).
    void setIsoVolumeName(const QString& typed);
    void toggleIsoSection();
    void dismissMissingToolsAlert();

    // File choices: through the file panels, or a file chosen elsewhere (the command line, a drop).
    void chooseSource();
    void chooseDestination();
    void chooseISODestination();
    void applySource(const QString& path);
    // Files given on the command line or dropped onto the window: one video file becomes the
    // source as if chosen in the panel; anything else is refused with a status line. Nothing
    // changes while a run is active. True when the file became the source.
    bool openSource(const QList<QUrl>& files, SourceOrigin origin = SourceOrigin::drop);
    void applyDestination(const QString& path);
    void applyISODestination(const QString& path);

    // Runs
    void startConversion();
    void startVideoTSRun();
    void startISORun();
    void startBurnRun();
    void togglePause();
    void abortRun();

    // Log
    void appendLog(const QString& line);
    void handleToolLogLine(const QString& line);
    void startDotPulse(const QString& text);
    void stopDotPulse();
    void saveLog();
    void clearLog();

    // Tools and audio streams. checkTools is the check each showing of the window runs; the
    // quiet check, after a tool path changed or when the window becomes active, only updates what
    // its result changes and raises no alert.
    void checkTools();
    void recheckTools();
    QCoro::Task<> reloadAudioStreams();
    void startReloadAudioStreams();
    void applyAudioStreams(const QList<AudioStreamInfo>& list);

signals:
    void changed();
    // A run has ended, whichever way; statusText says how.
    void runEnded();

private:
    void announce() override;

    // Run control: the window builds a DiscRun from its controls and shows what it reports.
    void beginRun(RunKind kind, const QString& input);
    RunRequest requestFor(RunKind kind, const QString& input) const;
    EncodeSettings encodeSettings() const;
    ChainToggles chainToggles() const;
    // A tool the run needs has gone since the last check: the run does not start, and the
    // window says which tool it lacks.
    bool refuseForMissingTools(const RunRequest& request);
    // The toggles changed: the run going on stops or goes on where they now say.
    void rechainRun();
    // Reports of a run change the window only while it is the running run; its ending, as long
    // as no newer run has begun.
    bool isActive(const DiscRun* run) const { return run == m_run && !m_runAborted; }
    bool isNewest(const DiscRun* run) const { return run == m_run; }
    void enterStage(Stage stage);
    void completeStage(Stage stage, const QString& product);
    void endRun(const RunEnding& ending);
    void show(const Shown& shown);
    void updateEncodeProgress(const RunProgress& progress);
    void handleBurnProgress(double fraction);
    void handleBurnStatus(BurnState state, const QString& text);
    void logStatus();
    // Runs job later on the UI thread, after what is queued now.
    void schedule(std::function<void()> job);
    // Starts a task that nobody awaits; a failure it did not expect still ends the run.
    void launch(QCoro::Task<> task);

    void pulseStep();
    void setRunning(bool running);

    FilePanels& m_filePanels;
    const Clock& m_clock;
    StoredSettings m_settings;
    FFmpegService m_service;
    ActivityLog m_log;
    // The run shown, and whether it was aborted; runs aborted earlier stay children of the
    // window until they have ended.
    DiscRun* m_run = nullptr;
    RunKind m_runKind = RunKind::chained;
    bool m_runAborted = false;
    enum class BurnPhase { none, erasing, writing, verifying };
    BurnPhase m_burnPhase = BurnPhase::none;
    // What the last encode found out for the disc, with the MPEG file it wrote.
    std::optional<std::pair<QString, DiscTitle>> m_encodedTitle;
    quint64 m_audioReads = 0;
    // The source as the last read of its streams found it, for the disc fill.
    std::optional<VideoProbe> m_sourceProbe;
    QTimer m_dotLogTask;
    bool m_changePending = false;
};
