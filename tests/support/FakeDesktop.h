#pragma once

// Fake notifications, login1 and screen saver on the private bus of dbus-run-session, answering
// from a thread of their own as a service process would. login1 is reached there through
// DBUS_SYSTEM_BUS_ADDRESS.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>

#include <functional>

namespace testing {

// Records every call and answers it with what the answer function gives for the number of earlier
// calls of that name, with an error where that is no value.
class FakeService : public QDBusVirtualObject {
public:
    using Answer = std::function<QVariant(qsizetype earlier)>;

    explicit FakeService(Answer answer = [](qsizetype earlier) { return uint(100 + earlier); })
        : m_answer(std::move(answer)) {}

    QList<QDBusMessage> calls(const QString& member) const;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    const Answer m_answer;
    mutable QMutex m_mutex;
    QList<QDBusMessage> m_calls;
};

enum Service { withNotifications = 1, withLogin = 2, withRefusingLogin = 4, withScreenSaver = 8 };

// The fake services a test asks for, on the private bus for as long as it lives.
class FakeDesktop {
public:
    explicit FakeDesktop(int services);
    ~FakeDesktop();

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
    mutable QMutex m_mutex;
    QList<int> m_loginEnds;
};

} // namespace testing
