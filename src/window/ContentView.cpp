#include "ContentView.h"

#include "platform/Notifications.h"

#include <QLocale>

ContentView::ContentView(FilePanels& filePanels, QObject* parent)
    : QObject(parent)
    , m_filePanels(filePanels) {
    dotLogTask.setSingleShot(false);
    connect(&dotLogTask, &QTimer::timeout, this, &ContentView::pulseStep);
    Notifications::defaultCenter().subscribe(NotificationName::logSave, this,
                                             [this] { saveLog(); });
    Notifications::defaultCenter().subscribe(NotificationName::logClear, this,
                                             [this] { clearLog(); });
}

// A run still going when the window closes is ended: the service kills its tool, and the run's
// task is never resumed.
ContentView::~ContentView() {
    if (currentTask)
        currentTask->stop.request_stop();
}

QString ContentView::timeFormatter(const QDateTime& moment) {
    return QLocale().toString(moment.time(), QLocale::ShortFormat);
}

void ContentView::setBurnAfterISO(bool on) {
    burnAfterISO = on;
    settings.setIsoSectionExpanded(on);
    notifyChanged();
}

void ContentView::notifyChanged() {
    if (m_changePending)
        return;
    m_changePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_changePending = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

void ContentView::schedule(std::function<void()> job) {
    QMetaObject::invokeMethod(
        this,
        [this, job = std::move(job)] {
            job();
            notifyChanged();
        },
        Qt::QueuedConnection);
}

LogCallback ContentView::toolLogger() {
    return [this](const QString& line) { schedule([this, line] { handleToolLogLine(line); }); };
}

void ContentView::launch(QCoro::Task<> task) {
    [](ContentView* self, QCoro::Task<> task) -> QCoro::Task<> {
        try {
            co_await std::move(task);
        } catch (const std::exception& error) {
            // The runs handle FFmpegError themselves; anything else must not leave the window
            // stuck in a run.
            self->stopDotPulse();
            self->statusText = QStringLiteral("Fehler ❌ ") + QString::fromUtf8(error.what());
            self->currentTask.reset();
            self->setRunning(false);
            self->logStatus();
        }
    }(this, std::move(task));
}
