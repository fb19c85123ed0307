#include "ContentView.h"
#include "inputs/AudioChoice.h"
#include "inputs/DiscChoice.h"
#include "platform/GermanFormat.h"

void ContentView::setRunning(bool running) {
    if (isRunning() == running)
        return;
    isRunning = running;
    expectedEnd = std::nullopt;
    projectedImageBytes = std::nullopt;
    if (!running) {
        isPaused = false;
        canPause = false;
        stopDotPulse();
    }
}

void ContentView::startConversion() {
    if (!sourceURL() || !destinationURL())
        return;
    progress = 0.0;
    encodingStartTime = m_clock.now();
    etaLogged = false;
    appendLog(QStringLiteral("Kodiere Datei. Startzeit: ") +
              GermanFormat::clockTime(*encodingStartTime()) + QStringLiteral(" Uhr."));
    beginRun(RunKind::chained, *sourceURL());
}

void ContentView::startVideoTSRun() {
    if (!destinationURL())
        return;
    encodingStartTime = std::nullopt;
    beginRun(RunKind::videoTS, *destinationURL());
}

void ContentView::startISORun() {
    if (!dvdFolderURL())
        return;
    encodingStartTime = std::nullopt;
    beginRun(RunKind::iso, *dvdFolderURL());
}

void ContentView::startBurnRun() {
    if (!isoURL())
        return;
    encodingStartTime = std::nullopt;
    beginRun(RunKind::burn, *isoURL());
}

RunRequest ContentView::requestFor(RunKind kind, const QString& input) const {
    RunRequest request;
    request.from = firstStage(kind);
    request.until = kind == RunKind::chained || kind == RunKind::videoTS
                        ? chainToggles().lastStageFrom(request.from)
                        : request.from;
    request.input = input;
    request.mpg = kind == RunKind::chained ? destinationURL().value_or(QString()) : input;
    request.isoTarget = isoURL();
    request.volumeName = isoVolumeName();
    // An MPEG file this window encoded has a title to tell; one from elsewhere has none.
    if (m_encodedTitle && m_encodedTitle->first == input)
        request.title = m_encodedTitle->second;
    request.encode = encodeSettings();
    request.tools = {m_settings.value(Setting::ffmpegPath),
                     m_settings.value(Setting::dvdauthorPath),
                     m_settings.value(Setting::genisoimagePath)};
    request.eraseBeforeBurn = m_settings.value(Setting::eraseBeforeBurn);
    request.verifyAfterBurn = m_settings.value(Setting::verifyAfterBurn);
    return request;
}

EncodeSettings ContentView::encodeSettings() const {
    EncodeSettings settings = encodeSettingsFor(
        m_settings.value(Setting::aspectMode), m_settings.value(Setting::qualityPreset),
        audioStreamPosition(m_settings.value(Setting::audioStreamIndex), audioStreams()),
        chosenDisc(m_settings.value(Setting::discSize)),
        m_settings.value(Setting::audioStreamIndex) == allAudioStreamsChoice);
    settings.subtitles = subtitleChoiceFor(m_settings.value(Setting::subtitleTracks),
                                           m_settings.value(Setting::subtitleShown));
    if (m_settings.value(Setting::subtitleBurnIn))
        settings.burntSubtitle = burntSubtitleFor(settings.subtitles);
    return settings;
}

std::optional<DiscFill> ContentView::discFill() const {
    const EncodeSettings settings = encodeSettings();
    if (isRunning() && projectedImageBytes())
        return ::discFill(*projectedImageBytes(), settings.disc);
    return m_sourceProbe ? discFillFor(*m_sourceProbe, settings) : std::nullopt;
}

ChainToggles ContentView::chainToggles() const {
    return {createVideoTSAfterConvert(), createISOAfterVideoTS(), burnAfterISO()};
}

void ContentView::rechainRun() {
    if (m_run && !m_runAborted && (m_runKind == RunKind::chained || m_runKind == RunKind::videoTS))
        m_run->setUntil(chainToggles().lastStageFrom(m_run->request().from));
}

void ContentView::beginRun(RunKind kind, const QString& input) {
    const RunRequest request = requestFor(kind, input);
    if (refuseForMissingTools(request))
        return;
    // An aborted run that has not ended yet finishes on its own and then goes.
    if (m_run)
        connect(m_run, &DiscRun::ended, m_run, &QObject::deleteLater);
    auto* run = new DiscRun(m_service, request, m_clock, this);
    m_run = run;
    m_runKind = kind;
    m_runAborted = false;
    setRunning(true);
    isPaused = false;
    show(runOpening(kind));
    stopDotPulse();

    connect(run, &DiscRun::stageStarted, this, [this, run](Stage stage) {
        if (isActive(run))
            enterStage(stage);
    });
    connect(run, &DiscRun::progressed, this, [this, run](const RunProgress& reached) {
        if (!isActive(run))
            return;
        reached.stage == Stage::burn ? handleBurnProgress(reached.fraction)
                                     : updateEncodeProgress(reached);
    });
    connect(run, &DiscRun::burnStateChanged, this,
            [this, run](BurnState state, const QString& text) {
                if (isActive(run))
                    handleBurnStatus(state, text);
            });
    connect(run, &DiscRun::toolLine, this, [this, run](const QString& line) {
        if (isNewest(run))
            handleToolLogLine(line);
    });
    connect(run, &DiscRun::noted, this, [this, run](const QString& line) {
        if (isNewest(run))
            appendLog(line);
    });
    connect(run, &DiscRun::stageCompleted, this, [this, run](Stage stage, const QString& product) {
        if (isActive(run))
            completeStage(stage, product);
    });
    connect(run, &DiscRun::ended, this, [this, run](const RunEnding& ending) {
        if (isNewest(run))
            endRun(ending);
    });
    launch([](DiscRun* run) -> QCoro::Task<> { co_await run->run(); }(run));
}

void ContentView::show(const Shown& shown) {
    if (shown.status)
        statusText = *shown.status;
    if (shown.phase)
        currentPhaseLabel = *shown.phase;
    if (shown.pulse)
        startDotPulse(*shown.pulse);
}

void ContentView::enterStage(Stage stage) {
    const bool erasing = stage == Stage::burn && m_run->request().eraseBeforeBurn;
    if (stage == Stage::burn)
        m_burnPhase = erasing ? BurnPhase::erasing : BurnPhase::none;
    canPause = m_run->canPause();
    show(stageOpening(m_runKind, stage, erasing));
}

void ContentView::completeStage(Stage stage, const QString& product) {
    stopDotPulse();
    if (stage == Stage::authoring)
        dvdFolderURL = product;
    else if (stage == Stage::image)
        isoURL = product;
    if (const std::optional<QString> completion = stageCompletion(m_runKind, stage, product)) {
        statusText = *completion;
        logStatus();
    }
}

void ContentView::endRun(const RunEnding& ending) {
    stopDotPulse();
    if (ending.products.mpg && ending.products.title)
        m_encodedTitle = {*ending.products.mpg, *ending.products.title};
    if (ending.error && !ending.error->isCancellation())
        for (const QString& reason : ending.error->toolReason().split(u'\n', Qt::SkipEmptyParts))
            appendLog(QStringLiteral("Fehlerursache: ") + reason);
    const EndingShown shown = endingShown(m_runKind, ending, m_run->request().verifyAfterBurn);
    if (shown.status)
        statusText = *shown.status;
    if (shown.phase)
        currentPhaseLabel = *shown.phase;
    if (shown.progress)
        progress = *shown.progress;
    if (shown.endsEncoding)
        encodingStartTime = std::nullopt;
    setRunning(false);
    if (shown.logLine && isLogWorthy(*shown.logLine))
        appendLog(*shown.logLine);
    m_run->deleteLater();
    m_run = nullptr;
    emit runEnded();
}

void ContentView::logStatus() {
    if (isLogWorthy(statusText()))
        appendLog(statusText());
}

void ContentView::updateEncodeProgress(const RunProgress& reached) {
    progress = reached.fraction;
    projectedImageBytes = reached.projectedImageBytes;
    if (!encodingStartTime() || !reached.expectedEnd)
        return;
    expectedEnd = reached.expectedEnd;
    const QString end = GermanFormat::clockTime(*reached.expectedEnd);
    statusText = QStringLiteral("Starte… Fertig um: ") + end;
    if (!etaLogged()) {
        etaLogged = true;
        appendLog(QStringLiteral("Voraussichtliches Ende um: ") + end + QStringLiteral(" Uhr."));
    }
}

void ContentView::handleBurnProgress(double fraction) {
    progress = fraction;
    burnProgressValue = fraction;
    if (m_burnPhase == BurnPhase::erasing && fraction > 0.01) {
        m_burnPhase = BurnPhase::writing;
        currentPhaseLabel = QStringLiteral("Brennen");
        statusText = QStringLiteral("Brennen…");
        if (dotLineBase() != QStringLiteral("Brenne auf DVD"))
            startDotPulse(QStringLiteral("Brenne auf DVD"));
    }
}

void ContentView::handleBurnStatus(BurnState state, const QString& text) {
    if (state == BurnState::verifying) {
        m_burnPhase = BurnPhase::verifying;
        currentPhaseLabel = QStringLiteral("Überprüfen");
        statusText = QStringLiteral("Überprüfen…");
        if (dotLineBase() != QStringLiteral("Prüfe gebrannte DVD"))
            startDotPulse(QStringLiteral("Prüfe gebrannte DVD"));
        return;
    }
    // The burn's last state after the verify ends the run; it burns nothing more.
    if (m_burnPhase == BurnPhase::verifying)
        return;
    if (m_burnPhase == BurnPhase::erasing && burnProgressValue() <= 0.01) {
        statusText = QStringLiteral("Löschen…");
        return;
    }
    m_burnPhase = BurnPhase::writing;
    currentPhaseLabel = QStringLiteral("Brennen");
    statusText = text;
    if (dotLineBase() != QStringLiteral("Brenne auf DVD"))
        startDotPulse(QStringLiteral("Brenne auf DVD"));
    if (state == BurnState::sessionClose || state == BurnState::finishing)
        progress = std::max(progress(), 0.95);
}

void ContentView::togglePause() {
    if (!isRunning() || !canPause())
        return;
    if (m_run)
        isPaused() ? m_run->resume() : m_run->suspend();
    isPaused = !isPaused();
    statusText = isPaused() ? QStringLiteral("Pausiert.") : QStringLiteral("Fortgesetzt…");
}

void ContentView::abortRun() {
    if (!isRunning())
        return;
    m_runAborted = true;
    if (m_run)
        m_run->cancel();
    setRunning(false);
    statusText = QStringLiteral("Abgebrochen.");
}
