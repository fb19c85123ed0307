#include "ContentView.h"
#include "IsoImage.h"
#include "Wakeup.h"
#include "platform/FileChecks.h"

template <typename T>
QCoro::Task<> ContentView::runSingleStage(Task task, RunKind kind, QCoro::Task<T> stage) {
    std::optional<FFmpegError> failure;
    try {
        co_await std::move(stage);
    } catch (const FFmpegError& error) {
        failure = error;
    }
    if (failure) {
        co_await nextTurn(this);
        showFailure(task, *failure, kind);
    }
}

void ContentView::startVideoTSRun() {
    if (!destinationURL)
        return;
    const Task task = beginRun(QStringLiteral("Erstellen…"), QStringLiteral("Erstellen"));
    encodingStartTime.reset();
    launch(runPostEncodeChain(task, RunKind::VideoTS, *destinationURL));
}

void ContentView::startISORun() {
    if (!dvdFolderURL)
        return;
    const Task task = beginRun(QStringLiteral("ISO erstellen…"), QStringLiteral("ISO erstellen"));
    encodingStartTime.reset();
    launch(runSingleStage(task, RunKind::ISO, runISOStage(task, RunKind::ISO, *dvdFolderURL)));
}

void ContentView::startBurnRun() {
    if (!isoURL)
        return;
    const Task task = beginRun(QStringLiteral("Brennen…"), QStringLiteral("Brennen"));
    encodingStartTime.reset();
    launch(runSingleStage(task, RunKind::Burn, runBurnStage(task, RunKind::Burn, *isoURL)));
}

// The VIDEO_TS run and the chain after an encode: VIDEO_TS, then ISO and burn as the toggles say.
QCoro::Task<> ContentView::runPostEncodeChain(Task task, RunKind kind, QString mpg) {
    std::optional<FFmpegError> failure;
    try {
        if (kind == RunKind::Chained) {
            statusText = QStringLiteral("Erzeuge VIDEO_TS…");
            startDotPulse(QStringLiteral("Erstelle VIDEO_TS Ordner"));
            currentPhaseLabel = QStringLiteral("Erstellen");
        }
        const QString dvdFolder = co_await runVideoTSStage(task, kind, mpg);
        if (createISOAfterVideoTS) {
            statusText = QStringLiteral("Erzeuge ISO…");
            startDotPulse(QStringLiteral("Erstelle ISO"));
            if (kind == RunKind::Chained)
                currentPhaseLabel = QStringLiteral("ISO erstellen");
            const QString iso = co_await runISOStage(task, kind, dvdFolder);
            if (burnAfterISO)
                co_await runBurnStage(task, kind, iso);
        }
    } catch (const FFmpegError& error) {
        failure = error;
    }
    if (failure) {
        co_await nextTurn(this);
        showFailure(task, *failure, kind);
    } else if (kind == RunKind::Chained) {
        finishConversion();
        logStatus();
    } else {
        setRunning(false);
        currentTask.reset();
    }
}

QCoro::Task<QString> ContentView::runVideoTSStage(Task task, RunKind kind, QString mpg) {
    if (kind == RunKind::VideoTS)
        startDotPulse(QStringLiteral("Erstelle VIDEO_TS Ordner"));
    const QString dvdFolder = co_await service.createVideoTS(mpg, settings.dvdauthorPath(),
                                                             toolLogger(), task->stop.get_token());
    co_await settle(task);
    stopDotPulse();
    dvdFolderURL = dvdFolder;
    if (kind == RunKind::VideoTS) {
        statusText = QStringLiteral("Fertig ✅ VIDEO_TS erstellt: ") + dvdFolder;
        logStatus();
    }
    co_return dvdFolder;
}

QCoro::Task<QString> ContentView::runISOStage(Task task, RunKind kind, QString dvdFolder) {
    const QString target = isoTargetFor(isoURL, dvdFolder);
    const QString volumeName = isoVolumeNameFor(isoVolumeName, dvdFolder);
    const QString hdiutilPath = settings.hdiutilPath();
    if (kind == RunKind::ISO)
        startDotPulse(QStringLiteral("Erstelle ISO"));
    if (!isExecutableFile(hdiutilPath))
        throw FFmpegError::toolNotFound(hdiutilPath);
    const QString basePath = isoBasePath(target);
    const QString isoFile = basePath + QStringLiteral(".iso");

    const LogCallback log = toolLogger();
    log(QStringLiteral("=== hdiutil makehybrid (ISO) ==="));
    log(QStringLiteral("Quelle: ") + dvdFolder);
    log(QStringLiteral("Ziel: ") + isoFile);
    const ToolResult result =
        co_await service.runTool(hdiutilPath, hdiutilArguments(volumeName, basePath, dvdFolder),
                                 std::nullopt, task->stop.get_token());
    result.reportTo(log);
    co_await settle(task);

    stopDotPulse();
    isoURL = isoFile;
    if (kind != RunKind::Chained)
        statusText = QStringLiteral("Fertig ✅ ISO erstellt: ") + isoFile;
    if (kind == RunKind::ISO) {
        setRunning(false);
        currentTask.reset();
    }
    logStatus();
    co_return isoFile;
}

QCoro::Task<> ContentView::runBurnStage(Task task, RunKind kind, QString iso) {
    if (kind != RunKind::Burn)
        statusText = QStringLiteral("Brenne DVD…");
    const bool erase = settings.eraseBeforeBurn();
    if (erase) {
        currentPhaseLabel = QStringLiteral("Löschen");
        statusText = QStringLiteral("Löschen…");
        startDotPulse(QStringLiteral("DVD löschen"));
    }
    notifyChanged();
    const auto onProgress = [this, task](double fraction) {
        schedule([this, task, fraction] {
            if (isCurrent(task))
                handleBurnProgress(fraction);
        });
    };
    const auto onStatus = [this, task](const QString& text) {
        schedule([this, task, text] {
            if (isCurrent(task))
                handleBurnStatusText(text);
        });
    };
    co_await service.burnISO(iso, settings.verifyAfterBurn(), erase, onProgress, onStatus,
                             toolLogger(), task->stop.get_token());
    co_await settle(task);
    if (kind == RunKind::Chained) {
        stopDotPulse();
    } else {
        finishBurnRun();
        logStatus();
    }
}

void ContentView::handleBurnProgress(double fraction) {
    progress = fraction;
    burnProgressValue = fraction;
    if (settings.eraseBeforeBurn() && currentPhaseLabel == QStringLiteral("Löschen") &&
        fraction > 0.01) {
        currentPhaseLabel = QStringLiteral("Brennen");
        statusText = QStringLiteral("Brennen…");
        if (dotLineBase != QStringLiteral("Brenne auf DVD"))
            startDotPulse(QStringLiteral("Brenne auf DVD"));
    }
}

void ContentView::handleBurnStatusText(const QString& text) {
    const QString lowered = text.toLower();
    if (lowered.contains(QStringLiteral("verifiz"))) {
        currentPhaseLabel = QStringLiteral("Überprüfen");
        statusText = QStringLiteral("Überprüfen…");
        if (dotLineBase != QStringLiteral("Prüfe gebrannte DVD"))
            startDotPulse(QStringLiteral("Prüfe gebrannte DVD"));
        return;
    }
    if (currentPhaseLabel == QStringLiteral("Löschen") && burnProgressValue <= 0.01) {
        statusText = QStringLiteral("Löschen…");
        return;
    }
    currentPhaseLabel = QStringLiteral("Brennen");
    statusText = text;
    if (dotLineBase != QStringLiteral("Brenne auf DVD"))
        startDotPulse(QStringLiteral("Brenne auf DVD"));
    if (lowered.contains(QStringLiteral("sitzung")) || lowered.contains(QStringLiteral("finalis")))
        progress = std::max(progress, 0.95);
}

void ContentView::finishBurnRun() {
    stopDotPulse();
    statusText = settings.verifyAfterBurn()
                     ? QStringLiteral("Fertig ✅ Brennvorgang abgeschlossen (mit Verify).")
                     : QStringLiteral("Fertig ✅ Brennvorgang gestartet/abgeschlossen.");
    progress = 1.0;
    setRunning(false);
    currentTask.reset();
    currentPhaseLabel = QStringLiteral("Start");
    notifyChanged();
}

void ContentView::failStageRun(const FFmpegError& error) {
    failISORun(error);
    currentPhaseLabel = QStringLiteral("Start");
}

void ContentView::failISORun(const FFmpegError& error) {
    stopDotPulse();
    statusText = failureText(error);
    setRunning(false);
    currentTask.reset();
    logStatus();
}

void ContentView::logStatus() {
    if (isLogWorthy(statusText))
        appendLog(statusText);
    notifyChanged();
}
