#include "ContentView.h"
#include "EndTime.h"
#include "FileNames.h"
#include "IsoImage.h"
#include "Wakeup.h"
#include "inputs/AudioChoice.h"
#include "inputs/DiscChoice.h"
#include "platform/GermanFormat.h"
#include "run/RunChecks.h"

#include <QFileInfo>

ContentView::RunHandle ContentView::beginRun(RunKind kind) {
    m_run = std::make_shared<Run>();
    m_run->kind = kind;
    setRunning(true);
    isPaused = false;
    show(runOpening(kind));
    stopDotPulse();
    return m_run;
}

void ContentView::setRunning(bool running) {
    if (isRunning() == running)
        return;
    isRunning = running;
    if (!running) {
        isPaused = false;
        stopDotPulse();
    }
}

void ContentView::startConversion() {
    if (!sourceURL() || !destinationURL())
        return;
    progress = 0.0;
    encodingStartTime = m_clock.now();
    etaLogged = false;
    const RunHandle run = beginRun(RunKind::chained);
    run->encodeTarget = *destinationURL();
    appendLog(QStringLiteral("Kodiere Datei. Startzeit: ") +
              GermanFormat::clockTime(*encodingStartTime()) + QStringLiteral(" Uhr."));
    launch(runStages(run, *sourceURL()));
}

void ContentView::startVideoTSRun() {
    if (!destinationURL())
        return;
    encodingStartTime = std::nullopt;
    launch(runStages(beginRun(RunKind::videoTS), *destinationURL()));
}

void ContentView::startISORun() {
    if (!dvdFolderURL())
        return;
    encodingStartTime = std::nullopt;
    launch(runStages(beginRun(RunKind::iso), *dvdFolderURL()));
}

void ContentView::startBurnRun() {
    if (!isoURL())
        return;
    encodingStartTime = std::nullopt;
    launch(runStages(beginRun(RunKind::burn), *isoURL()));
}

// A run is a sequence of stage jobs: each stage's product is the next stage's input, and which
// stage follows is decided when the one before has succeeded.
QCoro::Task<> ContentView::runStages(RunHandle run, QString input) {
    Stage stage = firstStage(run->kind);
    try {
        checkRoomFor(run->kind, input);
    } catch (const FFmpegError& refusal) {
        endRun(*run, stage, refusal);
        co_return;
    }
    for (;;) {
        enterStage(*run, stage);
        run->job = makeJob(run, stage, input);
        if (isPaused())
            run->job->suspend();
        const StageJob::Ending ending = co_await run->job->run();
        // The reports the job scheduled come first.
        co_await nextTurn(this);
        if (!isNewest(*run))
            co_return;
        if (run->aborted || ending.kind != StageJob::Ending::Kind::succeeded) {
            endRun(*run, stage, run->aborted ? FFmpegError::cancelled() : *ending.error);
            co_return;
        }
        completeStage(*run, stage, ending.product);
        const std::optional<Stage> next = nextStage(run->kind, stage, chainToggles());
        if (!next) {
            endRun(*run, stage, std::nullopt);
            co_return;
        }
        stage = *next;
        input = ending.product.path;
    }
}

std::unique_ptr<StageJob> ContentView::makeJob(const RunHandle& run, Stage stage,
                                               const QString& input) {
    StageJob::Reports reports = reportsFor(run, stage);
    switch (stage) {
    case Stage::encode: {
        const EncodeSettings encode = encodeSettingsFor(
            m_settings.value(Setting::aspectMode), m_settings.value(Setting::qualityPreset),
            audioStreamPosition(m_settings.value(Setting::audioStreamIndex), audioStreams()),
            chosenDisc(m_settings.value(Setting::discSize)));
        return StageJob::encode(m_service, input, run->encodeTarget,
                                m_settings.value(Setting::ffmpegPath), encode,
                                encodeCheck(run->encodeTarget, reports.note), reports);
    }
    case Stage::authoring: {
        // An MPEG file this window encoded has a title to tell; one from elsewhere has none.
        const DiscTitle title =
            m_encodedTitle && m_encodedTitle->first == input ? m_encodedTitle->second : DiscTitle{};
        return StageJob::authoring(m_service, input, m_settings.value(Setting::dvdauthorPath),
                                   title, reports);
    }
    case Stage::image:
        return StageJob::image(m_service, input, m_settings.value(Setting::genisoimagePath),
                               isoVolumeNameFor(isoVolumeName(), input),
                               isoTargetFor(isoURL(), input), reports);
    case Stage::burn:
        break;
    }
    return StageJob::burn(m_service, input, m_settings.value(Setting::verifyAfterBurn),
                          m_settings.value(Setting::eraseBeforeBurn), reports);
}

ChainToggles ContentView::chainToggles() const {
    return {createVideoTSAfterConvert(), createISOAfterVideoTS(), burnAfterISO()};
}

// The stage buttons know what they write from the files they start from; the encode knows it once
// it is planned (encodeCheck).
void ContentView::checkRoomFor(RunKind kind, const QString& input) const {
    SizeForecast size;
    if (kind == RunKind::videoTS)
        size = forecastFromMpeg(QFileInfo(input).size());
    else if (kind == RunKind::iso)
        size.imageBytes = imageFromDvdFolder(folderBytes(input));
    else
        return;
    checkFreeSpace(runWrites(kind, chainToggles(), input, isoURL(), size));
}

// A fixed bitrate that will not fit the disc is refused when the run goes on to the burn, and only
// warned of otherwise; "Passend" fits it or refuses itself. Then the room for the run's files.
StageJob::EncodeCheck ContentView::encodeCheck(const QString& target,
                                               const LogCallback& note) const {
    return
        [toggles = chainToggles(), iso = isoURL(), target, note](const PlannedConversion& planned) {
            const std::optional<SizeForecast>& size = planned.plan.size;
            if (!size)
                return;
            if (!planned.settings.fillsDisc) {
                const DiscVerdict verdict = judgeImageSize(size->imageBytes, planned.settings.disc,
                                                           runBurns(RunKind::chained, toggles));
                if (verdict.refusal)
                    throw *verdict.refusal;
                if (verdict.warning)
                    note(*verdict.warning);
            }
            checkFreeSpace(runWrites(RunKind::chained, toggles, target, iso, *size));
        };
}

StageJob::Reports ContentView::reportsFor(const RunHandle& run, Stage stage) {
    const std::weak_ptr<Run> weak = run;
    // Runs a report's reaction later, if its run may still change the window then.
    const auto later = [this, weak](auto reaction, bool whileActive) {
        schedule([this, weak, reaction, whileActive] {
            const RunHandle run = weak.lock();
            if (run && (whileActive ? isActive(*run) : isNewest(*run)))
                reaction(*run);
        });
    };
    StageJob::Reports reports;
    reports.log = [later, this](const QString& line) {
        later([this, line](Run&) { handleToolLogLine(line); }, false);
    };
    reports.progress = [later, this, stage](double fraction) {
        later(
            [this, stage, fraction](Run& run) {
                stage == Stage::burn ? handleBurnProgress(run, fraction)
                                     : updateEncodeProgress(fraction);
            },
            true);
    };
    reports.status = [later, this](BurnState state, const QString& text) {
        later([this, state, text](Run& run) { handleBurnStatus(run, state, text); }, true);
    };
    reports.note = [later, this](const QString& line) {
        later([this, line](Run&) { appendLog(line); }, false);
    };
    return reports;
}

void ContentView::show(const Shown& shown) {
    if (shown.status)
        statusText = *shown.status;
    if (shown.phase)
        currentPhaseLabel = *shown.phase;
    if (shown.pulse)
        startDotPulse(*shown.pulse);
}

void ContentView::enterStage(Run& run, Stage stage) {
    const bool erasing = stage == Stage::burn && m_settings.value(Setting::eraseBeforeBurn);
    if (stage == Stage::burn)
        run.burnPhase = erasing ? Run::BurnPhase::erasing : Run::BurnPhase::none;
    show(stageOpening(run.kind, stage, erasing));
}

void ContentView::completeStage(const Run& run, Stage stage, const StageJob::Product& product) {
    stopDotPulse();
    if (stage == Stage::encode && product.title)
        m_encodedTitle = {product.path, *product.title};
    else if (stage == Stage::authoring)
        dvdFolderURL = product.path;
    else if (stage == Stage::image)
        isoURL = product.path;
    if (const std::optional<QString> completion = stageCompletion(run.kind, stage, product.path)) {
        statusText = *completion;
        logStatus();
    }
}

void ContentView::endRun(Run& run, Stage last, const std::optional<FFmpegError>& failure) {
    stopDotPulse();
    if (failure && !failure->isCancellation())
        for (const QString& reason : failure->toolReason().split(u'\n', Qt::SkipEmptyParts))
            appendLog(QStringLiteral("Fehlerursache: ") + reason);
    const RunEnding ending =
        runEnding(run.kind, last, failure, m_settings.value(Setting::verifyAfterBurn));
    if (ending.status)
        statusText = *ending.status;
    if (ending.phase)
        currentPhaseLabel = *ending.phase;
    if (ending.progress)
        progress = *ending.progress;
    if (ending.endsEncoding)
        encodingStartTime = std::nullopt;
    run.job.reset();
    setRunning(false);
    if (ending.logLine && isLogWorthy(*ending.logLine))
        appendLog(*ending.logLine);
    emit runEnded();
}

void ContentView::logStatus() {
    if (isLogWorthy(statusText()))
        appendLog(statusText());
}

void ContentView::updateEncodeProgress(double fraction) {
    progress = fraction;
    if (!encodingStartTime() || !showsExpectedEnd(fraction))
        return;
    const QDateTime end = expectedEnd(*encodingStartTime(), m_clock.now(), fraction);
    statusText = QStringLiteral("Starte… Fertig um: ") + GermanFormat::clockTime(end);
    if (!etaLogged()) {
        etaLogged = true;
        appendLog(QStringLiteral("Voraussichtliches Ende um: ") + GermanFormat::clockTime(end) +
                  QStringLiteral(" Uhr."));
    }
}

void ContentView::handleBurnProgress(Run& run, double fraction) {
    progress = fraction;
    burnProgressValue = fraction;
    if (run.burnPhase == Run::BurnPhase::erasing && fraction > 0.01) {
        run.burnPhase = Run::BurnPhase::writing;
        currentPhaseLabel = QStringLiteral("Brennen");
        statusText = QStringLiteral("Brennen…");
        if (dotLineBase() != QStringLiteral("Brenne auf DVD"))
            startDotPulse(QStringLiteral("Brenne auf DVD"));
    }
}

void ContentView::handleBurnStatus(Run& run, BurnState state, const QString& text) {
    if (state == BurnState::verifying) {
        run.burnPhase = Run::BurnPhase::verifying;
        currentPhaseLabel = QStringLiteral("Überprüfen");
        statusText = QStringLiteral("Überprüfen…");
        if (dotLineBase() != QStringLiteral("Prüfe gebrannte DVD"))
            startDotPulse(QStringLiteral("Prüfe gebrannte DVD"));
        return;
    }
    if (run.burnPhase == Run::BurnPhase::erasing && burnProgressValue() <= 0.01) {
        statusText = QStringLiteral("Löschen…");
        return;
    }
    run.burnPhase = Run::BurnPhase::writing;
    currentPhaseLabel = QStringLiteral("Brennen");
    statusText = text;
    if (dotLineBase() != QStringLiteral("Brenne auf DVD"))
        startDotPulse(QStringLiteral("Brenne auf DVD"));
    if (state == BurnState::sessionClose || state == BurnState::finishing)
        progress = std::max(progress(), 0.95);
}

void ContentView::togglePause() {
    if (!isRunning())
        return;
    if (m_run && m_run->job)
        isPaused() ? m_run->job->resume() : m_run->job->suspend();
    isPaused = !isPaused();
    statusText = isPaused() ? QStringLiteral("Pausiert.") : QStringLiteral("Fortgesetzt…");
}

void ContentView::abortRun() {
    if (!isRunning())
        return;
    if (m_run) {
        m_run->aborted = true;
        if (m_run->job)
            m_run->job->cancel();
    }
    setRunning(false);
    isPaused = false;
    stopDotPulse();
    statusText = QStringLiteral("Abgebrochen.");
}
