#pragma once

// Fake desktop services on the private bus of dbus-run-session: notifications, login1 and the
// screen saver. They answer from a thread of their own, as a separate process would, and record
// every call. A test that points DBUS_SYSTEM_BUS_ADDRESS at the session bus reaches login1 there.
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

namespace testing {

struct Call {
    QString member;
    QVariantList arguments;
};

// Answers each call with what the answer function gives, or with an error where it gives nothing;
// without one, with 100 and the number of calls of that name so far. Answers can be held back,
// so that a test can act while a request is out.
class FakeService : public QDBusVirtualObject {
public:
    using Answer = std::function<std::optional<QVariant>(const Call&)>;

    explicit FakeService(Answer answer = {});

    QList<Call> calls(const QString& member) const;
    void holdAnswers() { m_holding = true; }
    void releaseAnswers();

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    const Answer m_answer;
    mutable QMutex m_mutex;
    QList<Call> m_calls;
    std::atomic<bool> m_holding = false;
    QSemaphore m_passes;
};

enum Service { withNotifications = 1, withLogin = 2, withRefusingLogin = 4, withScreenSaver = 8 };

// The fake services a test asks for, on the private bus for as long as it lives.
class FakeDesktop {
public:
    explicit FakeDesktop(int services);
    ~FakeDesktop();

    bool ready() const { return m_ready; }
    // Inhibitors not given back: login1 sees through its end of a pipe when every copy of the
    // other end is closed; the screen saver counts its cookies.
    int held() const;

    FakeService notifier;
    FakeService login;
    FakeService screenSaver;

private:
    void offer(FakeService& fake, const QString& name);

    QDBusConnection m_bus;
    QThread m_thread;
    bool m_ready = true;
    QStringList m_names;
    mutable QMutex m_mutex;
    QList<int> m_loginEnds;
};

} // namespace testing
