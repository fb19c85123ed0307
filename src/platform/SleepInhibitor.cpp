#include "SleepInhibitor.h"

#include "DesktopIdentity.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString reason = QStringLiteral("DVD wird erstellt");
// Bounds how long the destructor may wait for a service that does not answer.
constexpr int requestTimeoutMs = 5000;

const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

} // namespace

SleepInhibitor::SleepInhibitor(QObject* parent)
    : QObject(parent) {}

SleepInhibitor::~SleepInhibitor() {
    m_wanted = false;
    if (m_request) {
        // Waiting on the watcher itself would run its finished handler from here.
        QDBusPendingCall answer = *m_request;
        delete m_request;
        m_request = nullptr;
        answer.waitForFinished();
        (this->*m_answered)(answer);
    }
    giveBack();
}

void SleepInhibitor::hold() {
    m_wanted = true;
    if (m_state == State::Released)
        askLogin();
}

void SleepInhibitor::release() {
    m_wanted = false;
    if (m_state == State::Held)
        giveBack();
}

void SleepInhibitor::askLogin() {
    QDBusConnection bus = QDBusConnection::systemBus();
    // login1 hands the inhibitor over as a file descriptor; a bus that cannot pass one is no use.
    if (!bus.isConnected() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        askScreenSaver();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << DesktopIdentity::appName << reason
         << QStringLiteral("block");
    await(bus.asyncCall(call, requestTimeoutMs), &SleepInhibitor::loginAnswered);
}

void SleepInhibitor::askScreenSaver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setState(State::Released);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        screenSaverService, screenSaverPath, screenSaverService, QStringLiteral("Inhibit"));
    call << DesktopIdentity::appName << reason;
    await(bus.asyncCall(call, requestTimeoutMs), &SleepInhibitor::screenSaverAnswered);
}

void SleepInhibitor::await(const QDBusPendingCall& call, Handler answered) {
    setState(State::Requesting);
    m_answered = answered;
    m_request = new QDBusPendingCallWatcher(call, this);
    connect(m_request, &QDBusPendingCallWatcher::finished, this, [this] {
        const QDBusPendingCall answer = *m_request;
        m_request->deleteLater();
        m_request = nullptr;
        (this->*m_answered)(answer);
    });
}

void SleepInhibitor::loginAnswered(const QDBusPendingCall& answer) {
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = answer;
    if (reply.isError() || !reply.value().isValid()) {
        if (m_wanted)
            askScreenSaver();
        else
            setState(State::Released);
        return;
    }
    m_loginLock = reply.value();
    settle();
}

void SleepInhibitor::screenSaverAnswered(const QDBusPendingCall& answer) {
    const QDBusPendingReply<uint> reply = answer;
    if (reply.isError()) {
        setState(State::Released);
        return;
    }
    m_screenSaverCookie = reply.value();
    settle();
}

void SleepInhibitor::settle() {
    setState(State::Held);
    if (!m_wanted)
        giveBack();
}

void SleepInhibitor::giveBack() {
    // login1 ends the inhibitor when the last copy of its descriptor is closed.
    m_loginLock = QDBusUnixFileDescriptor();
    if (m_screenSaverCookie) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            screenSaverService, screenSaverPath, screenSaverService, QStringLiteral("UnInhibit"));
        call << *m_screenSaverCookie;
        QDBusConnection::sessionBus().send(call);
        m_screenSaverCookie.reset();
    }
    setState(State::Released);
}

void SleepInhibitor::setState(State state) {
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}
