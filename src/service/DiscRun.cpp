#include "DiscRun.h"

#include "DiscVerdict.h"
#include "EndTime.h"
#include "FileNames.h"
#include "IsoImage.h"
#include "Wakeup.h"

DiscRun::DiscRun(FFmpegService& service, RunRequest request, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_request(std::move(request))
    , m_recipe(m_request)
    , m_clock(clock) {}

// A job that goes ends its tool through its control; what its stage had not completed goes with
// it.
DiscRun::~DiscRun() {
    if (m_job)
        m_job->cancel();
}

// Ends in a turn of the event loop of its own: whoever started the run has shown its start before
// it ends, also when it ends at once.
QCoro::Task<RunEnding> DiscRun::run() {
    RunEnding ending = co_await runStages();
    co_await nextTurn(this);
    m_stage.reset();
    m_suspended = false;
    emit ended(ending);
    co_return ending;
}

// Returns plain values, never awaits a call with temporaries in it (docs/coroutines.md).
QCoro::Task<RunEnding> DiscRun::runStages() {
    std::optional<FFmpegError> refusal;
    try {
        checkRoomBeforeTheFirstStage();
    } catch (const FFmpegError& error) {
        refusal = error;
    }
    if (refusal)
        co_return RunEnding{RunEnding::Outcome::failed, m_request.from, refusal, {}};
    QString input = m_request.input;
    Stage stage = m_request.from;
    for (;;) {
        if (m_cancelled)
            co_return RunEnding{RunEnding::Outcome::cancelled, stage, FFmpegError::cancelled(),
                                m_products};
        m_stage = stage;
        if (stage == Stage::encode)
            m_encodeStart = m_clock.now();
        m_job = makeJob(stage, input);
        if (m_suspended && RunRecipe::canPause(stage))
            m_job->suspend();
        emit stageStarted(stage);
        const StageJob::Ending ending = co_await m_job->run();
        m_job.reset();
        if (m_cancelled || ending.kind == StageJob::Ending::Kind::cancelled)
            co_return RunEnding{RunEnding::Outcome::cancelled, stage, FFmpegError::cancelled(),
                                m_products};
        if (ending.kind == StageJob::Ending::Kind::failed)
            co_return RunEnding{RunEnding::Outcome::failed, stage, ending.error, m_products};
        input = ending.product.path;
        switch (stage) {
        case Stage::encode:
            m_products.mpg = input;
            m_products.title = ending.product.title;
            break;
        case Stage::authoring:
            m_products.dvdFolder = input;
            break;
        case Stage::image:
        case Stage::burn:
            m_products.iso = input;
            break;
        }
        emit stageCompleted(stage, input);
        const std::optional<Stage> next = m_recipe.after(stage);
        if (!next)
            co_return RunEnding{RunEnding::Outcome::succeeded, stage, std::nullopt, m_products};
        stage = *next;
    }
}

void DiscRun::cancel() {
    m_cancelled = true;
    if (m_job)
        m_job->cancel();
}

void DiscRun::suspend() {
    if (!canPause() || m_suspended)
        return;
    m_suspended = true;
    if (m_job)
        m_job->suspend();
}

void DiscRun::resume() {
    if (!m_suspended)
        return;
    m_suspended = false;
    if (m_job)
        m_job->resume();
}

std::unique_ptr<StageJob> DiscRun::makeJob(Stage stage, const QString& input) {
    const StageJob::Reports reports = reportsFor(stage);
    switch (stage) {
    case Stage::encode:
        return StageJob::encode(
            m_service, input, m_request.mpg, m_request.tools.ffmpeg, m_request.encode,
            [this](const PlannedConversion& planned) { checkPlannedEncode(planned); }, reports);
    case Stage::authoring:
        return StageJob::authoring(m_service, input, m_request.tools.dvdauthor,
                                   m_products.title.value_or(m_request.title), reports);
    case Stage::image:
        return StageJob::image(m_service, input, m_request.tools.genisoimage,
                               isoVolumeNameFor(m_request.volumeName, input),
                               isoTargetFor(m_request.isoTarget, input), reports);
    case Stage::burn:
        break;
    }
    return StageJob::burn(m_service, input, m_request.verifyAfterBurn, m_request.eraseBeforeBurn,
                          reports);
}

StageJob::Reports DiscRun::reportsFor(Stage stage) {
    StageJob::Reports reports;
    reports.log = [this](const QString& line) { emit toolLine(line); };
    reports.note = [this](const QString& line) { emit noted(line); };
    reports.progress = [this, stage](double fraction) {
        if (stage == Stage::encode)
            reportEncodeProgress(fraction);
        else
            emit progressed({stage, fraction, {}, {}});
    };
    reports.projection = [this](qint64 bytes) { m_projectedImageBytes = bytes; };
    reports.status = [this](BurnState state, const QString& text) {
        emit burnStateChanged(state, text);
    };
    return reports;
}

void DiscRun::reportEncodeProgress(double fraction) {
    RunProgress progress{Stage::encode, fraction, {}, m_projectedImageBytes};
    if (showsExpectedEnd(fraction))
        progress.expectedEnd = expectedEnd(m_encodeStart, m_clock.now(), fraction);
    emit progressed(progress);
}

// The runs that start from a file know what they write from it; the encode knows it once it is
// planned.
void DiscRun::checkRoomBeforeTheFirstStage() const {
    if (const std::optional<SizeForecast> size = m_recipe.sizeFromInput())
        checkFreeSpace(m_recipe.writes(*size));
}

// A fixed bitrate that will not fit the disc is refused when the run goes on to the burn, and
// only warned of otherwise; "Passend" fits it or refuses itself. Then the room for the files.
void DiscRun::checkPlannedEncode(const PlannedConversion& planned) {
    const std::optional<SizeForecast>& size = planned.plan.size;
    if (!size)
        return;
    if (!planned.settings.fillsDisc) {
        const DiscVerdict verdict =
            judgeImageSize(size->imageBytes, planned.settings.disc, m_recipe.burns());
        if (verdict.refusal)
            throw *verdict.refusal;
        if (verdict.warning)
            emit noted(*verdict.warning);
    }
    checkFreeSpace(m_recipe.writes(*size));
}
