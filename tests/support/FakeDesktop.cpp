#include "FakeDesktop.h"

namespace testing {

FakeDesktop::FakeDesktop(int services)
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

FakeDesktop::~FakeDesktop() {
    login.gate.open();
    screenSaver.gate.open();
    for (const auto& [name, path] : std::as_const(m_offered)) {
        m_bus.unregisterObject(path);
        m_bus.unregisterService(name);
    }
    m_thread.quit();
    m_thread.wait();
}

void FakeDesktop::offer(QObject& fake, const QString& name, const QString& path) {
    fake.moveToThread(&m_thread);
    m_ready = m_ready && m_bus.registerObject(path, &fake, QDBusConnection::ExportAllSlots) &&
              m_bus.registerService(name);
    m_offered.append({name, path});
}

} // namespace testing
