#include "DiscBurning.h"
#include "BurnFollower.h"
#include "Wakeup.h"

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

QCoro::Task<> DiscBurning::burnISO(FFmpegService& service, BurnerBackend& backend, QString iso,
                                   bool verify, bool eraseBeforeBurn, ProgressCallback onProgress,
                                   StatusCallback onStatus, LogCallback onLog,
                                   StageControl control) {
    onLog(QStringLiteral("=== DiscRecording burn ==="));
    onLog(QStringLiteral("ISO: ") + iso);

    const std::unique_ptr<DiscBurn> burn = backend.createBurn();
    BurnFollower follower(std::move(onProgress), std::move(onStatus), std::move(onLog));
    Wakeup finished(&service);
    // The burn runs in the recorder's own threads; its reports are polled here, on the UI thread.
    QTimer poll;
    // Bound to the service: a burn abandoned with its window stops reporting when the service goes.
    QObject::connect(&poll, &QTimer::timeout, &service, [&] {
        for (const BurnReport& report : burn->poll())
            if (follower.follow(report))
                finished.fire();
    });
    std::stop_callback onStop(control.stopToken(), [&burn] { burn->abort(); });
    burn->start(iso, verify, eraseBeforeBurn);
    poll.start(pollIntervalMs);
    co_await finished.fired();
    poll.stop();
    if (control.isCancelled())
        throw FFmpegError::cancelled();
    if (const std::optional<FFmpegError> failure = follower.failure())
        throw *failure;
}
