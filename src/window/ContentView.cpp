#include "ContentView.h"

#include "inputs/VolumeName.h"
#include "platform/Notifications.h"

ContentView::ContentView(FilePanels& filePanels, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_filePanels(filePanels)
    , m_clock(clock) {
    m_dotLogTask.setSingleShot(false);
    connect(&m_dotLogTask, &QTimer::timeout, this, &ContentView::pulseStep);
    Notifications::defaultCenter().subscribe(NotificationName::logSave, this,
                                             [this] { saveLog(); });
    Notifications::defaultCenter().subscribe(NotificationName::logClear, this,
                                             [this] { clearLog(); });
    Notifications::defaultCenter().subscribe(NotificationName::toolsCheck, this,
                                             [this] { recheckTools(); });
    connect(&StoredSettings::changes(), &SettingsChanges::changed, this,
            [this](const QString& key) {
                announce();
                if (key.startsWith(QStringLiteral("tool.")))
                    recheckTools();
            });
}

// A run still going when the window closes is ended: it goes before the service, which then ends
// its tool, and its task is never resumed.
ContentView::~ContentView() {
    qDeleteAll(findChildren<DiscRun*>(Qt::FindDirectChildrenOnly));
}

void ContentView::announce() {
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

void ContentView::setCreateVideoTSAfterConvert(bool on) {
    createVideoTSAfterConvert = on;
    rechainRun();
}

void ContentView::setCreateISOAfterVideoTS(bool on) {
    createISOAfterVideoTS = on;
    rechainRun();
}

void ContentView::setBurnAfterISO(bool on) {
    burnAfterISO = on;
    m_settings.setValue(Setting::isoSectionExpanded, on);
    rechainRun();
}

void ContentView::setIsoVolumeName(const QString& typed) {
    isoVolumeName = sanitizeVolumeName(typed);
}

void ContentView::toggleIsoSection() {
    m_settings.setValue(Setting::isoSectionExpanded,
                        !m_settings.value(Setting::isoSectionExpanded));
}

void ContentView::dismissMissingToolsAlert() {
    showMissingToolsAlert = false;
}

void ContentView::schedule(std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

void ContentView::launch(QCoro::Task<> task) {
    [](ContentView* self, QCoro::Task<> task) -> QCoro::Task<> {
        try {
            co_await std::move(task);
        } catch (const std::exception& error) {
            // The runs end every FFmpegError themselves; anything else must not leave the
            // window stuck in a run.
            self->stopDotPulse();
            self->statusText = QStringLiteral("Fehler ❌ ") + QString::fromUtf8(error.what());
            self->setRunning(false);
            self->logStatus();
        }
    }(this, std::move(task));
}
