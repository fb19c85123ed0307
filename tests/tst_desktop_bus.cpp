// The notification sender and the sleep inhibitor against small fake desktop services on a
// private bus: CTest runs this program under dbus-run-session, and the program points the system
// bus at the same private bus so that a fake login1 can be reached there. The fakes answer from
// a thread of their own, as a separate service process would, and record what they were sent;
// the fake login1 hands out one end of a pipe and sees through the other when it is closed.
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"

#include "FakeDesktop.h"

#include <QSignalSpy>
#include <QTest>

using namespace testing;

namespace {

const QString reason = QStringLiteral("DVD wird erstellt");

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
