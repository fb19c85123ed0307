#include "FFmpegService.h"

#include <QTimer>

namespace {

constexpr int pollIntervalMs = 50;

} // namespace

QString burnStateText(BurnState state) {
    switch (state) {
    case BurnState::preparing:
        return QStringLiteral("Brenner wird vorbereitet…");
    case BurnState::trackOpen:
        return QStringLiteral("Track wird geöffnet…");
    case BurnState::trackWrite:
        return QStringLiteral("Brennvorgang läuft…");
    case BurnState::trackClose:
        return QStringLiteral("Track wird geschlossen…");
    case BurnState::sessionClose:
        return QStringLiteral("Sitzung wird abgeschlossen…");
    case BurnState::finishing:
        return QStringLiteral("Finalisiere…");
    case BurnState::verifying:
        return QStringLiteral("Verifiziere…");
    case BurnState::done:
        return QStringLiteral("Brennen abgeschlossen.");
    case BurnState::failed:
        return QStringLiteral("Brennen fehlgeschlagen.");
    case BurnState::none:
        break;
    }
    return QStringLiteral("Brenne DVD…");
}

void FFmpegService::setBurnerBackend(std::unique_ptr<BurnerBackend> backend) {
    m_burnerBackend = std::move(backend);
}

QCoro::Task<> FFmpegService::burnISO(QString iso, bool verify, bool eraseBeforeBurn,
                                     ProgressCallback onProgress, StatusCallback onStatus,
                                     LogCallback onLog, std::stop_token stop) {
    onLog(QStringLiteral("=== DiscRecording burn ==="));
    onLog(QStringLiteral("ISO: ") + iso);

    const std::unique_ptr<DiscBurn> burn = m_burnerBackend->createBurn();
    Wakeup finished(this);
    std::optional<FFmpegError> error;
    {
        std::lock_guard lock(burnLock);
        currentBurn = burn.get();
    }
    burnContinuation = BurnContinuation{&finished, &error};
    burnOnProgress = std::move(onProgress);
    burnOnStatus = std::move(onStatus);
    burnOnLog = std::move(onLog);
    burnLastState = BurnState::none;

    // The burn runs in the recorder's own threads; its reports are polled here, on the UI thread.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, finished.context(), [this, &burn] {
        for (const BurnReport& report : burn->poll())
            handleBurnStatus(report);
    });
    std::stop_callback onStop(stop, [&burn] { burn->abort(); });
    burn->start(iso, verify, eraseBeforeBurn);
    poll.start(pollIntervalMs);
    co_await finished.fired();
    poll.stop();
    {
        std::lock_guard lock(burnLock);
        currentBurn = nullptr;
    }
    if (stop.stop_requested())
        throw FFmpegError::cancelled();
    if (error)
        throw *error;
}

void FFmpegService::handleBurnStatus(const BurnReport& report) {
    if (!currentBurn)
        return;
    const auto resume = [this](std::optional<FFmpegError> failure) {
        if (auto continuation = std::exchange(burnContinuation, std::nullopt)) {
            *continuation->error = std::move(failure);
            continuation->wakeup->fire();
        }
    };
    if (report.setupError) {
        resume(FFmpegError::conversionFailed(*report.setupError));
        return;
    }
    if (report.fraction && burnOnProgress)
        burnOnProgress(*report.fraction);
    for (const QString& message : report.messages)
        if (burnOnLog)
            burnOnLog(message);
    if (report.state != burnLastState) {
        burnLastState = report.state;
        const QString text = burnStateText(report.state);
        if (burnOnLog)
            burnOnLog(text);
        if (burnOnStatus)
            burnOnStatus(text);
    }
    if (report.state == BurnState::done)
        resume(std::nullopt);
    else if (report.state == BurnState::failed)
        resume(FFmpegError::conversionFailed(-3));
}
