#include "AudioChoice.h"
#include "ContentView.h"
#include "Wakeup.h"
#include "platform/ProcessSignals.h"

ContentView::Task ContentView::beginRun(const QString& status, const QString& phaseLabel) {
    auto task = std::make_shared<StageTask>();
    task->generation = ++m_generation;
    setRunning(true);
    isPaused = false;
    statusText = status;
    currentPhaseLabel = phaseLabel;
    stopDotPulse();
    currentTask = task;
    notifyChanged();
    return task;
}

void ContentView::setRunning(bool running) {
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    onRunningChanged(running);
    notifyChanged();
}

void ContentView::onRunningChanged(bool running) {
    // The widgets animate the waiting line between the two values while a run lasts.
    waitingPulse = running;
    if (!running) {
        isPaused = false;
        stopDotPulse();
    }
}

bool ContentView::isCurrent(const Task& task) const {
    return task && currentTask == task;
}

bool ContentView::endingApplies(const Task& task) const {
    return task->generation == m_generation;
}

QCoro::Task<> ContentView::settle(Task task) {
    co_await nextTurn(this);
    notifyChanged();
    if (task->stop.stop_requested() || !isCurrent(task))
        throw FFmpegError::cancelled();
}

void ContentView::startConversion() {
    if (!sourceURL || !destinationURL)
        return;
    const Task task = beginRun(QStringLiteral("Kodieren…"), QStringLiteral("Kodieren"));
    progress = 0;
    encodingStartTime = QDateTime::currentDateTime();
    etaLogged = false;
    const QString line = QStringLiteral("Kodiere Datei. Startzeit: ") +
                         timeFormatter(*encodingStartTime) + QStringLiteral(" Uhr.");
    if (isLogWorthy(line))
        appendLog(line);
    launch(runConversionStage(task, *sourceURL, *destinationURL));
}

QCoro::Task<> ContentView::runConversionStage(Task task, QString source, QString destination) {
    const EncodeSettings encode =
        encodeSettingsFor(settings.aspectMode(), settings.qualityPreset(),
                          audioStreamPosition(settings.audioStreamIndexStored(), audioStreams));
    const auto onProgress = [this, task](double fraction) {
        schedule([this, task, fraction] {
            if (isCurrent(task))
                updateEncodeProgress(fraction);
        });
    };
    std::optional<FFmpegError> failure;
    try {
        co_await service.convert(source, destination, settings.ffmpegPath(), encode, onProgress,
                                 toolLogger(), task->stop.get_token());
        co_await settle(task);
        if (createVideoTSAfterConvert) {
            co_await runPostEncodeChain(task, RunKind::Chained, destination);
            co_return;
        }
    } catch (const FFmpegError& error) {
        failure = error;
    }
    if (failure) {
        co_await nextTurn(this);
        showFailure(task, *failure, RunKind::Chained);
        co_return;
    }
    finishConversion();
    logStatus();
}

void ContentView::updateEncodeProgress(double fraction) {
    progress = fraction;
    notifyChanged();
    if (!encodingStartTime || !(fraction >= 0.1))
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const double elapsed = encodingStartTime->msecsTo(now) / 1000.0;
    const double remaining = elapsed * (1.0 - fraction) / fraction;
    const QDateTime end = now.addMSecs(qint64(remaining * 1000));
    statusText = QStringLiteral("Starte… Fertig um: ") + timeFormatter(end);
    if (!etaLogged) {
        etaLogged = true;
        const QString line = QStringLiteral("Voraussichtliches Ende um: ") + timeFormatter(end) +
                             QStringLiteral(" Uhr.");
        if (isLogWorthy(line))
            appendLog(line);
    }
}

void ContentView::finishConversion() {
    statusText = QStringLiteral("Fertig ✅");
    setRunning(false);
    progress = 1.0;
    currentTask.reset();
    encodingStartTime.reset();
    stopDotPulse();
    currentPhaseLabel = QStringLiteral("Start");
    notifyChanged();
}

void ContentView::failConversion(const FFmpegError& error) {
    stopDotPulse();
    statusText = failureText(error);
    setRunning(false);
    currentTask.reset();
    encodingStartTime.reset();
    notifyChanged();
}

QString ContentView::failureText(const FFmpegError& error) {
    return error.isCancellation() ? QStringLiteral("Abgebrochen.")
                                  : QStringLiteral("Fehler ❌ ") + error.description();
}

void ContentView::showFailure(const Task& task, const FFmpegError& error, RunKind kind) {
    if (!endingApplies(task))
        return;
    const bool aborted = error.isCancellation() || task->stop.stop_requested();
    const FFmpegError shown = aborted ? FFmpegError::cancelled() : error;
    stopDotPulse();
    if (!aborted && !error.toolReason().isEmpty())
        appendLog(QStringLiteral("Fehlerursache: ") + error.toolReason());
    switch (kind) {
    case RunKind::Chained:
        failConversion(shown);
        logStatus();
        break;
    case RunKind::VideoTS:
    case RunKind::Burn:
        failStageRun(shown);
        break;
    case RunKind::ISO:
        failISORun(shown);
        break;
    }
}

void ContentView::togglePause() {
    if (!m_isRunning)
        return;
    {
        std::lock_guard lock(service.processLock);
        if (service.currentProcess)
            isPaused ? resumeProcess(*service.currentProcess)
                     : suspendProcess(*service.currentProcess);
    }
    isPaused = !isPaused;
    statusText = isPaused ? QStringLiteral("Pausiert.") : QStringLiteral("Fortgesetzt…");
    notifyChanged();
}

void ContentView::abortRun() {
    if (!m_isRunning)
        return;
    if (currentTask)
        currentTask->stop.request_stop();
    {
        std::lock_guard lock(service.processLock);
        if (service.currentProcess)
            terminateProcess(*service.currentProcess);
    }
    {
        std::lock_guard lock(service.burnLock);
        if (service.currentBurn)
            service.currentBurn->abort();
    }
    setRunning(false);
    isPaused = false;
    currentTask.reset();
    stopDotPulse();
    statusText = QStringLiteral("Abgebrochen.");
    notifyChanged();
}
