#include "FakeDesktop.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testing {

static QString objectPath(QString name) {
    return "/" + name.replace('.', '/');
}

FakeService::FakeService(Answer answer)
    : m_answer(answer ? std::move(answer) : [this](const Call& call) -> std::optional<QVariant> {
        return uint(100 + calls(call.member).size());
    }) {}

QList<Call> FakeService::calls(const QString& member) const {
    QMutexLocker lock(&m_mutex);
    QList<Call> found;
    std::copy_if(m_calls.cbegin(), m_calls.cend(), std::back_inserter(found),
                 [&](const Call& call) { return call.member == member; });
    return found;
}

void FakeService::releaseAnswers() {
    m_holding = false;
    m_passes.release(16); // more than any test has requests waiting
}

bool FakeService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const Call call{message.member(), message.arguments()};
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
    }
    if (m_holding)
        m_passes.acquire();
    const std::optional<QVariant> answer = m_answer(call);
    connection.send(answer ? message.createReply(*answer)
                           : message.createErrorReply(QDBusError::AccessDenied, "refused"));
    return true;
}

FakeDesktop::FakeDesktop(int services)
    : login([this, services](const Call&) -> std::optional<QVariant> {
        int ends[2];
        if ((services & withRefusingLogin) || ::pipe2(ends, O_CLOEXEC) != 0)
            return std::nullopt;
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
    login.releaseAnswers();
    screenSaver.releaseAnswers();
    for (const QString& name : std::as_const(m_names)) {
        m_bus.unregisterObject(objectPath(name));
        m_bus.unregisterService(name);
    }
    m_thread.quit();
    m_thread.wait();
    for (const int end : std::as_const(m_loginEnds))
        ::close(end);
}

void FakeDesktop::offer(FakeService& fake, const QString& name) {
    fake.moveToThread(&m_thread);
    m_ready = m_ready && m_bus.registerVirtualObject(objectPath(name), &fake) &&
              m_bus.registerService(name);
    m_names.append(name);
}

int FakeDesktop::held() const {
    QMutexLocker lock(&m_mutex);
    int held = 0;
    for (const int end : m_loginEnds) {
        pollfd watch{end, POLLIN, 0};
        held += ::poll(&watch, 1, 0) == 0 || !(watch.revents & POLLHUP);
    }
    QSet<uint> cookies;
    for (qsizetype i = 1; i <= screenSaver.calls("Inhibit").size(); ++i)
        cookies.insert(uint(100 + i));
    for (const Call& call : screenSaver.calls("UnInhibit"))
        cookies.remove(call.arguments.value(0).toUInt());
    return held + int(cookies.size());
}

} // namespace testing
