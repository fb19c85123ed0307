#pragma once

#include "FFmpegService.h"
#include "RunEnding.h"
#include "RunProgress.h"
#include "RunRecipe.h"
#include "RunRequest.h"
#include "StageJob.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QObject>

#include <memory>

// One run from a video (or an MPEG file, a DVD folder, an image) to as far as it is asked: its
// stages come from its recipe and run one after another as stage jobs, each stage's product the
// next one's input. The checks that refuse a run run before its first stage writes anything.
// Cancel, suspend and resume reach the stage that runs (a burn cannot be suspended); a run ends
// once, with a RunEnding, in every case. Everything is reported through the signals, on the UI
// thread, as it happens.
//
// A run lives until it has ended, or goes together with its service (which ends the tools).
class DiscRun : public QObject {
    Q_OBJECT

public:
    DiscRun(FFmpegService& service, RunRequest request, const Clock& clock = Clock::system(),
            QObject* parent = nullptr);
    ~DiscRun() override;

    const RunRequest& request() const { return m_request; }
    const RunRecipe& recipe() const { return m_recipe; }
    // Where the run ends, for the stages that have not started yet.
    void setUntil(Stage until) { m_recipe.setUntil(until); }

    // Runs every stage of the recipe; never throws. Ends with ended() as well.
    QCoro::Task<RunEnding> run();

    void cancel();
    // Pausing holds the running tool, and a tool the run starts while paused starts held. Nothing
    // happens while a stage that cannot pause runs.
    void suspend();
    void resume();
    bool canPause() const { return m_stage && RunRecipe::canPause(*m_stage); }
    bool isSuspended() const { return m_suspended; }
    bool isCancelled() const { return m_cancelled; }
    std::optional<Stage> stage() const { return m_stage; }

signals:
    void stageStarted(Stage stage);
    void progressed(const RunProgress& progress);
    // A line the tool wrote, and a line meant for the user (sizes, warnings).
    void toolLine(const QString& line);
    void noted(const QString& line);
    void burnStateChanged(BurnState state, const QString& text);
    // A stage succeeded with this file or folder.
    void stageCompleted(Stage stage, const QString& product);
    void ended(const RunEnding& ending);

private:
    std::unique_ptr<StageJob> makeJob(Stage stage, const QString& input);
    StageJob::Reports reportsFor(Stage stage);
    void checkRoomBeforeTheFirstStage() const;
    void checkPlannedEncode(const PlannedConversion& planned);
    void reportEncodeProgress(double fraction);
    QCoro::Task<RunEnding> runStages();

    FFmpegService& m_service;
    const RunRequest m_request;
    RunRecipe m_recipe;
    const Clock& m_clock;
    std::unique_ptr<StageJob> m_job;
    std::optional<Stage> m_stage;
    RunProducts m_products;
    QDateTime m_encodeStart;
    std::optional<qint64> m_projectedImageBytes;
    bool m_suspended = false;
    bool m_cancelled = false;
};
