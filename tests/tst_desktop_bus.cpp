// The notification sender and the sleep inhibitor against small fake desktop services on a
// private bus: CTest runs this program under dbus-run-session, and the program points the system
// bus at the same private bus so that a fake login1 can be reached there.
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"

#include "FakeDesktop.h"

#include <QDBusArgument>
#include <QTest>

using namespace testing;

const QString reason = QStringLiteral("DVD wird erstellt");

class DesktopBusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QByteArray session = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY2(!session.isEmpty(), "run under dbus-run-session");
        // Read when the system bus is first used, which is after this.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", session);
        QVERIFY(QDBusConnection::systemBus().isConnected());
    }

    void notificationCarriesAppNameTitleAndBody() {
        FakeDesktop desktop(withNotifications);
        QVERIFY(desktop.ready());
        DesktopNotifier().notify("DVD „Urlaub“", "Fertig ✅");
        QTRY_COMPARE(desktop.notifier.calls("Notify").size(), 1);
        const QVariantList sent = desktop.notifier.calls("Notify").first().arguments;
        QCOMPARE(sent.mid(0, 5), (QVariantList{QString("Kestrin"), 0u, DesktopIdentity::id,
                                               QString("DVD „Urlaub“"), QString("Fertig ✅")}));
        QCOMPARE(qdbus_cast<QVariantMap>(sent.value(6)).value("desktop-entry"),
                 QVariant(DesktopIdentity::id));
        QCOMPARE(sent.value(7), QVariant(-1));
    }

    // login1's sleep inhibitor first, the screen saver where login1 is missing or refuses. Holding
    // again takes no second inhibitor; releasing twice is harmless; a run that ends or a program
    // that quits while the request is out gives the answer back once it arrives.
    void everyInhibitorIsGivenBack_data() {
        QTest::addColumn<int>("services");
        QTest::addColumn<bool>("destroyed");
        QTest::addColumn<bool>("whileAsked");
        const QList<std::pair<const char*, int>> desktops{
            {"login1", withLogin | withScreenSaver},
            {"no login1", withScreenSaver},
            {"login1 refuses", withRefusingLogin | withScreenSaver},
            {"neither", 0}};
        for (const auto& [name, services] : desktops)
            for (const bool destroyed : {false, true})
                for (const bool whileAsked : {false, true}) {
                    if (whileAsked && services == 0)
                        continue;
                    QTest::addRow("%s, %s%s", name, destroyed ? "destroyed" : "released",
                                  whileAsked ? " while asked" : "")
                        << services << destroyed << whileAsked;
                }
    }
    void everyInhibitorIsGivenBack() {
        QFETCH(int, services);
        QFETCH(bool, destroyed);
        QFETCH(bool, whileAsked);
        FakeDesktop desktop(services);
        QVERIFY(desktop.ready());
        const bool viaLogin = services & withLogin;
        const int asked = services != 0;
        FakeService& service = viaLogin ? desktop.login : desktop.screenSaver;
        const auto held = [&] {
            return viaLogin ? desktop.loginHeld() : desktop.screenSaverHeld();
        };
        if (whileAsked)
            service.holdAnswers();
        auto inhibitor = std::make_unique<SleepInhibitor>();
        inhibitor->hold();
        inhibitor->hold();
        if (whileAsked) {
            QTRY_COMPARE(service.calls("Inhibit").size(), 1);
            // The answer goes out, but is only seen once the event loop runs.
            service.releaseAnswers();
            QCOMPARE(inhibitor->state(), SleepInhibitor::State::Requesting);
        } else {
            QTRY_VERIFY(inhibitor->state() != SleepInhibitor::State::Requesting);
            QCOMPARE(inhibitor->state(),
                     asked ? SleepInhibitor::State::Held : SleepInhibitor::State::Released);
            inhibitor->hold();
            QCOMPARE(held(), asked);
        }
        if (destroyed) {
            inhibitor.reset();
        } else {
            inhibitor->release();
            inhibitor->release();
            QTRY_COMPARE(inhibitor->state(), SleepInhibitor::State::Released);
        }
        QTRY_COMPARE(held(), 0);
        const QList<Call> login = desktop.login.calls("Inhibit");
        const QList<Call> screenSaver = desktop.screenSaver.calls("Inhibit");
        QCOMPARE(login.size(), services & (withLogin | withRefusingLogin) ? 1 : 0);
        QCOMPARE(screenSaver.size(), viaLogin ? 0 : asked);
        for (const Call& call : login)
            QCOMPARE(call.arguments, (QVariantList{QString("sleep"), QString("Kestrin"), reason,
                                                   QString("block")}));
        for (const Call& call : screenSaver)
            QCOMPARE(call.arguments, (QVariantList{QString("Kestrin"), reason}));
    }
};

QTEST_GUILESS_MAIN(DesktopBusTest)
#include "tst_desktop_bus.moc"
