#include "FakeDesktop.h"

#include <QDBusUnixFileDescriptor>
#include <QSet>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testing {

QList<QDBusMessage> FakeService::calls(const QString& member) const {
    QMutexLocker lock(&m_mutex);
    QList<QDBusMessage> found;
    for (const QDBusMessage& call : m_calls)
        if (call.member() == member)
            found.append(call);
    return found;
}

bool FakeService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QVariant answer = m_answer(calls(message.member()).size());
    QMutexLocker lock(&m_mutex);
    m_calls.append(message);
    return connection.send(answer.isValid()
                               ? message.createReply(answer)
                               : message.createErrorReply(QDBusError::AccessDenied, "refused"));
}

FakeDesktop::FakeDesktop(int services)
    : login([this, services](qsizetype) {
        int ends[2];
        if ((services & withRefusingLogin) || ::pipe2(ends, O_CLOEXEC) != 0)
            return QVariant();
        QMutexLocker lock(&m_mutex);
        m_loginEnds.append(ends[0]);
        const QDBusUnixFileDescriptor handed(ends[1]);
        ::close(ends[1]);
        return QVariant::fromValue(handed);
    })
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fakes")) {
    m_thread.start();
    if (services & withNotifications)
        offer(notifier, "org.freedesktop.Notifications");
    if (services & (withLogin | withRefusingLogin))
        offer(login, "org.freedesktop.login1");
    if (services & withScreenSaver)
        offer(screenSaver, "org.freedesktop.ScreenSaver");
}

FakeDesktop::~FakeDesktop() {
    m_thread.quit();
    m_thread.wait();
    // Gives up the names and objects, so that the next test can offer them again.
    QDBusConnection::disconnectFromBus(m_bus.name());
    for (const int end : std::as_const(m_loginEnds))
        ::close(end);
}

void FakeDesktop::offer(FakeService& fake, const QString& name) {
    fake.moveToThread(&m_thread);
    m_bus.registerVirtualObject("/" + QString(name).replace('.', '/'), &fake);
    m_bus.registerService(name);
}

int FakeDesktop::held() const {
    QMutexLocker lock(&m_mutex);
    int held = 0;
    for (const int end : m_loginEnds) {
        pollfd watch{end, POLLIN, 0};
        held += ::poll(&watch, 1, 0) == 0 || !(watch.revents & POLLHUP);
    }
    QSet<uint> cookies;
    for (qsizetype i = 0; i < screenSaver.calls("Inhibit").size(); ++i)
        cookies.insert(uint(100 + i));
    for (const QDBusMessage& call : screenSaver.calls("UnInhibit"))
        cookies.remove(call.arguments().value(0).toUInt());
    return held + int(cookies.size());
}

} // namespace testing
