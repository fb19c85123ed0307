// The notification sender and the sleep inhibitor against small fake desktop services on a
// private bus: CTest runs this program under dbus-run-session, and the program points the system
// bus at the same private bus so that a fake login1 can be reached there. The fakes answer from
// a thread of their own, as a separate service process would, and record what they were sent;
// the fake login1 hands out one end of a pipe and sees through the other when it is closed.
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>

namespace {

const QString reason = QStringLiteral("DVD wird erstellt");

// Holds a fake's answers back until the test opens it, so that a test can act while a request
// is out.
class AnswerGate {
public:
    void close() { m_closed = true; }
    void open() {
        m_closed = false;
        // More than any test has requests waiting.
        m_passes.release(16);
    }
    void pass() {
        if (m_closed)
            m_passes.acquire();
    }

private:
    std::atomic<bool> m_closed = false;
    QSemaphore m_passes;
};

struct Notification {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QVariantMap hints;
    int timeout = 0;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<Notification> received() const {
        QMutexLocker lock(&m_mutex);
        return m_received;
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList&,
                const QVariantMap& hints, int timeout) {
        QMutexLocker lock(&m_mutex);
        m_received.append({appName, replacesId, icon, summary, body, hints, timeout});
        return static_cast<uint>(m_received.size());
    }

private:
    mutable QMutex m_mutex;
    QList<Notification> m_received;
};

struct LoginRequest {
    QString what;
    QString who;
    QString why;
    QString mode;
};

class FakeLogin : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit FakeLogin(bool refuse)
        : m_refuse(refuse) {}
    ~FakeLogin() override {
        for (int end : std::as_const(m_readEnds))
            ::close(end);
    }

    QList<LoginRequest> requests() const {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    AnswerGate gate;
    int handedOut() const {
        QMutexLocker lock(&m_mutex);
        return static_cast<int>(m_readEnds.size());
    }
    // Inhibitors handed out whose descriptor is still open somewhere: the read end of a pipe
    // hangs up once every copy of its write end is closed.
    int stillHeld() const {
        QMutexLocker lock(&m_mutex);
        int held = 0;
        for (int end : m_readEnds) {
            pollfd watch{end, POLLIN, 0};
            if (::poll(&watch, 1, 0) == 0 || !(watch.revents & POLLHUP))
                ++held;
        }
        return held;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append({what, who, why, mode});
        }
        gate.pass();
        QMutexLocker lock(&m_mutex);
        int ends[2];
        if (m_refuse || ::pipe2(ends, O_CLOEXEC) != 0) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused"));
            return {};
        }
        m_readEnds.append(ends[0]);
        const QDBusUnixFileDescriptor handed(ends[1]);
        ::close(ends[1]);
        return handed;
    }

private:
    const bool m_refuse;
    mutable QMutex m_mutex;
    QList<LoginRequest> m_requests;
    QList<int> m_readEnds;
};

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QList<QStringList> requests() const {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    QSet<uint> active() const {
        QMutexLocker lock(&m_mutex);
        return m_active;
    }
    int granted() const {
        QMutexLocker lock(&m_mutex);
        return m_granted;
    }
    QList<uint> unInhibited() const {
        QMutexLocker lock(&m_mutex);
        return m_unInhibited;
    }
    AnswerGate gate;

public slots:
    uint Inhibit(const QString& application, const QString& why) {
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append({application, why});
        }
        gate.pass();
        QMutexLocker lock(&m_mutex);
        const uint cookie = 100 + static_cast<uint>(m_requests.size());
        m_active.insert(cookie);
        ++m_granted;
        return cookie;
    }
    void UnInhibit(uint cookie) {
        QMutexLocker lock(&m_mutex);
        m_unInhibited.append(cookie);
        m_active.remove(cookie);
    }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_requests;
    QSet<uint> m_active;
    int m_granted = 0;
    QList<uint> m_unInhibited;
};

enum Service { withNotifications = 1, withLogin = 2, withRefusingLogin = 4, withScreenSaver = 8 };

// The fake services a test asks for, registered on the private bus for as long as it lives.
class FakeDesktop {
    QDBusConnection m_bus;
    QThread m_thread;
    bool m_ready = true;
    QList<std::pair<QString, QString>> m_offered;

public:
    explicit FakeDesktop(int services)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fakes"))
        , login(services & withRefusingLogin) {
        m_thread.start();
        if (services & withNotifications)
            offer(notifier, "org.freedesktop.Notifications", "/org/freedesktop/Notifications");
        if (services & (withLogin | withRefusingLogin))
            offer(login, "org.freedesktop.login1", "/org/freedesktop/login1");
        if (services & withScreenSaver)
            offer(screenSaver, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver");
    }
    ~FakeDesktop() {
        login.gate.open();
        screenSaver.gate.open();
        for (const auto& [name, path] : std::as_const(m_offered)) {
            m_bus.unregisterObject(path);
            m_bus.unregisterService(name);
        }
        m_thread.quit();
        m_thread.wait();
    }

    bool ready() const { return m_ready; }

    FakeNotifications notifier;
    FakeLogin login;
    FakeScreenSaver screenSaver;

private:
    void offer(QObject& fake, const QString& name, const QString& path) {
        fake.moveToThread(&m_thread);
        m_ready = m_ready && m_bus.registerObject(path, &fake, QDBusConnection::ExportAllSlots) &&
                  m_bus.registerService(name);
        m_offered.append({name, path});
    }
};

// Which fake a sleep inhibitor test runs against, and how to see that it holds or gave back.
void addBackendRows() {
    QTest::addColumn<int>("services");
    QTest::addColumn<bool>("viaLogin");
    QTest::newRow("login1") << (withLogin | withScreenSaver) << true;
    QTest::newRow("screen saver") << int(withScreenSaver) << false;
}

int inhibitorsHeld(const FakeDesktop& desktop, bool viaLogin) {
    return viaLogin ? desktop.login.stillHeld()
                    : static_cast<int>(desktop.screenSaver.active().size());
}

int inhibitorsAskedFor(const FakeDesktop& desktop, bool viaLogin) {
    return static_cast<int>(viaLogin ? desktop.login.requests().size()
                                     : desktop.screenSaver.requests().size());
}

// Inhibitors the fake has handed out (its answer may still be on its way).
int inhibitorsTaken(const FakeDesktop& desktop, bool viaLogin) {
    return viaLogin ? desktop.login.handedOut() : desktop.screenSaver.granted();
}

} // namespace

class DesktopBusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QByteArray session = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY2(!session.isEmpty(), "run under dbus-run-session");
        // Read when the system bus is first used, which is after this.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", session);
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(QDBusConnection::systemBus().isConnected());
    }

    void notificationCarriesAppNameTitleAndBody_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::newRow("done") << "Kestrin"
                              << "Fertig ✅";
        QTest::newRow("failed") << "Kestrin"
                                << "Fehler ❌ ffmpeg wurde mit Code 1 beendet.";
        QTest::newRow("aborted") << "DVD „Urlaub“"
                                 << "Abgebrochen.";
    }
    void notificationCarriesAppNameTitleAndBody() {
        QFETCH(QString, title);
        QFETCH(QString, body);
        FakeDesktop desktop(withNotifications);
        QVERIFY(desktop.ready());
        DesktopNotifier().notify(title, body);
        QTRY_COMPARE(desktop.notifier.received().size(), 1);
        const Notification sent = desktop.notifier.received().first();
        QCOMPARE(sent.appName, QStringLiteral("Kestrin"));
        QCOMPARE(sent.summary, title);
        QCOMPARE(sent.body, body);
        QCOMPARE(sent.icon, DesktopIdentity::id);
        QCOMPARE(sent.hints.value("desktop-entry").toString(), DesktopIdentity::id);
        QCOMPARE(sent.replacesId, 0u);
        QCOMPARE(sent.timeout, -1);
    }

    // With nobody serving notifications the first one is lost without harm; one sent once the
    // service is there arrives alone.
    void notificationWithoutServiceIsDropped() {
        DesktopNotifier().notify("Kestrin", "ins Leere");
        FakeDesktop desktop(withNotifications);
        QVERIFY(desktop.ready());
        DesktopNotifier().notify("Kestrin", "Fertig ✅");
        QTRY_COMPARE(desktop.notifier.received().size(), 1);
        QCOMPARE(desktop.notifier.received().first().body, QStringLiteral("Fertig ✅"));
    }

    void login1IsAskedForSleepFirst() {
        FakeDesktop desktop(withLogin | withScreenSaver);
        QVERIFY(desktop.ready());
        SleepInhibitor inhibitor;
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        QCOMPARE(desktop.login.requests().size(), 1);
        const LoginRequest request = desktop.login.requests().first();
        QCOMPARE(request.what, QStringLiteral("sleep"));
        QCOMPARE(request.who, QStringLiteral("Kestrin"));
        QCOMPARE(request.why, reason);
        QCOMPARE(request.mode, QStringLiteral("block"));
        QCOMPARE(desktop.login.stillHeld(), 1);
        QVERIFY(desktop.screenSaver.requests().isEmpty());
    }

    void screenSaverIsAskedWhenLogin1IsMissingOrRefuses_data() {
        QTest::addColumn<int>("services");
        QTest::addColumn<int>("loginRequests");
        QTest::newRow("no login1") << int(withScreenSaver) << 0;
        QTest::newRow("login1 refuses") << (withRefusingLogin | withScreenSaver) << 1;
    }
    void screenSaverIsAskedWhenLogin1IsMissingOrRefuses() {
        QFETCH(int, services);
        QFETCH(int, loginRequests);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        SleepInhibitor inhibitor;
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        QCOMPARE(desktop.login.requests().size(), loginRequests);
        QCOMPARE(desktop.screenSaver.requests(), (QList<QStringList>{{"Kestrin", reason}}));
        QCOMPARE(desktop.screenSaver.active().size(), 1);
    }

    void releaseGivesTheInhibitorBack_data() { addBackendRows(); }
    void releaseGivesTheInhibitorBack() {
        QFETCH(int, services);
        QFETCH(bool, viaLogin);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        SleepInhibitor inhibitor;
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        QCOMPARE(inhibitorsHeld(desktop, viaLogin), 1);
        inhibitor.release();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        QTRY_COMPARE(inhibitorsHeld(desktop, viaLogin), 0);
        QCOMPARE(inhibitorsTaken(desktop, viaLogin), 1);
    }

    // The second release has nothing left to give back and sends nothing.
    void releasingTwiceGivesBackOnce() {
        FakeDesktop desktop(withScreenSaver);
        QVERIFY(desktop.ready());
        SleepInhibitor inhibitor;
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        inhibitor.release();
        inhibitor.release();
        QTRY_COMPARE(desktop.screenSaver.unInhibited().size(), 1);
        // A later inhibitor and its release travel behind anything the second release sent.
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        inhibitor.release();
        QTRY_COMPARE(desktop.screenSaver.unInhibited().size(), 2);
        QCOMPARE(desktop.screenSaver.unInhibited(), (QList<uint>{101, 102}));
    }

    void holdingAgainTakesNoSecondInhibitor_data() { addBackendRows(); }
    void holdingAgainTakesNoSecondInhibitor() {
        QFETCH(int, services);
        QFETCH(bool, viaLogin);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        SleepInhibitor inhibitor;
        inhibitor.hold();
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
        inhibitor.hold();
        inhibitor.release();
        QTRY_COMPARE(inhibitorsHeld(desktop, viaLogin), 0);
        QCOMPARE(inhibitorsTaken(desktop, viaLogin), 1);
    }

    void destructorGivesTheInhibitorBack_data() { addBackendRows(); }
    void destructorGivesTheInhibitorBack() {
        QFETCH(int, services);
        QFETCH(bool, viaLogin);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        {
            SleepInhibitor inhibitor;
            inhibitor.hold();
            QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Held);
            QCOMPARE(inhibitorsHeld(desktop, viaLogin), 1);
        }
        QTRY_COMPARE(inhibitorsHeld(desktop, viaLogin), 0);
        QCOMPARE(inhibitorsTaken(desktop, viaLogin), 1);
    }

    // A run that ends while the request is out: the answer is given back on arrival.
    void releaseBeforeTheAnswerGivesItBackOnArrival_data() { addBackendRows(); }
    void releaseBeforeTheAnswerGivesItBackOnArrival() {
        QFETCH(int, services);
        QFETCH(bool, viaLogin);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        desktop.login.gate.close();
        desktop.screenSaver.gate.close();
        SleepInhibitor inhibitor;
        QSignalSpy states(&inhibitor, &SleepInhibitor::stateChanged);
        inhibitor.hold();
        QTRY_COMPARE(inhibitorsAskedFor(desktop, viaLogin), 1);
        inhibitor.release();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Requesting);
        desktop.login.gate.open();
        desktop.screenSaver.gate.open();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        QCOMPARE(inhibitorsTaken(desktop, viaLogin), 1);
        QTRY_COMPARE(inhibitorsHeld(desktop, viaLogin), 0);
        QCOMPARE(states.first().first().value<SleepInhibitor::State>(),
                 SleepInhibitor::State::Requesting);
        QCOMPARE(states.last().first().value<SleepInhibitor::State>(),
                 SleepInhibitor::State::Released);
    }

    // Quitting while the request is out: the destructor waits for the answer and gives it back.
    void destructorBeforeTheAnswerGivesItBack_data() { addBackendRows(); }
    void destructorBeforeTheAnswerGivesItBack() {
        QFETCH(int, services);
        QFETCH(bool, viaLogin);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        desktop.login.gate.close();
        desktop.screenSaver.gate.close();
        {
            SleepInhibitor inhibitor;
            inhibitor.hold();
            QTRY_COMPARE(inhibitorsAskedFor(desktop, viaLogin), 1);
            QCOMPARE(inhibitor.state(), SleepInhibitor::State::Requesting);
            desktop.login.gate.open();
            desktop.screenSaver.gate.open();
        }
        QTRY_COMPARE(inhibitorsTaken(desktop, viaLogin), 1);
        QTRY_COMPARE(inhibitorsHeld(desktop, viaLogin), 0);
    }

    void withoutServicesNothingIsHeldAndNothingFails() {
        FakeDesktop desktop(0);
        SleepInhibitor inhibitor;
        QSignalSpy states(&inhibitor, &SleepInhibitor::stateChanged);
        inhibitor.hold();
        QTRY_COMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        QCOMPARE(states.size(), 2);
        inhibitor.release();
        inhibitor.release();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Released);
    }
};

QTEST_GUILESS_MAIN(DesktopBusTest)
#include "tst_desktop_bus.moc"
