#pragma once

#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <optional>

class QDBusPendingCallWatcher;

// Keeps the machine from going to sleep while a DVD is made: login1's sleep inhibitor on the
// system bus, or else the screen saver's inhibit on the session bus, whichever answers first in
// that order. Requests never block the caller; an answer that arrives after release() is given
// back at once. Without either service nothing is held and nothing fails.
class SleepInhibitor : public QObject {
    Q_OBJECT

public:
    enum class State { Released, Requesting, Held };
    Q_ENUM(State)

    explicit SleepInhibitor(QObject* parent = nullptr);
    // Gives back what is held, waiting for an answer still outstanding so that nothing stays
    // inhibited after us.
    ~SleepInhibitor() override;

    // Asks for an inhibitor unless one is held or asked for already.
    void hold();
    // Safe at any time, also twice or with nothing held.
    void release();

    State state() const { return m_state; }

signals:
    void stateChanged(SleepInhibitor::State state);

private:
    using Handler = void (SleepInhibitor::*)(const QDBusPendingCall&);

    void askLogin();
    void askScreenSaver();
    void await(const QDBusPendingCall& call, Handler answered);
    void loginAnswered(const QDBusPendingCall& answer);
    void screenSaverAnswered(const QDBusPendingCall& answer);
    void settle();
    void giveBack();
    void setState(State state);

    State m_state = State::Released;
    bool m_wanted = false;
    QDBusPendingCallWatcher* m_request = nullptr;
    Handler m_answered = nullptr;
    QDBusUnixFileDescriptor m_loginLock;
    std::optional<uint> m_screenSaverCookie;
};
