// The notification sender and the sleep inhibitor on a machine without any D-Bus: CTest points
// both bus addresses at sockets that do not exist. Nothing may be held, fail or wait.
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

class DesktopNoBusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(!QDBusConnection::sessionBus().isConnected());
        QVERIFY(!QDBusConnection::systemBus().isConnected());
    }

    void notifyingDoesNothing() {
        DesktopNotifier().notify("Kestrin", "Fertig ✅");
        DesktopNotifier().notify("Kestrin", "Fehler ❌ ");
    }

    void holdingHoldsNothingAtOnce() {
        SleepInhibitor inhibitor;
        QSignalSpy states(&inhibitor, &SleepInhibitor::stateChanged);
        inhibitor.hold();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        inhibitor.release();
        inhibitor.release();
        inhibitor.hold();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        QVERIFY(states.isEmpty());
    }
};

QTEST_GUILESS_MAIN(DesktopNoBusTest)
#include "tst_desktop_nobus.moc"
