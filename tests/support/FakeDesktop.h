#pragma once

// Small fake desktop services on a private bus, for tests that CTest runs under
// dbus-run-session: the notification service, login1 and the screen saver. The fakes answer from a
// thread of their own, as a separate service process would, and record what they were sent; the
// fake login1 hands out one end of a pipe and sees through the other when it is closed. A test
// that points DBUS_SYSTEM_BUS_ADDRESS at the session bus reaches the fake login1 there.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QSemaphore>
#include <QSet>
#include <QThread>
#include <QVariantMap>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>

namespace testing {

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
    explicit FakeDesktop(int services);
    ~FakeDesktop();

    bool ready() const { return m_ready; }

    FakeNotifications notifier;
    FakeLogin login;
    FakeScreenSaver screenSaver;

private:
    void offer(QObject& fake, const QString& name, const QString& path);
};

} // namespace testing
