#include "Wakeup.h"

#include <QCoreApplication>
#include <QMetaObject>

Wakeup::Wakeup(QObject* guard)
    : m_guard(guard) {}

void Wakeup::fire() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive = std::weak_ptr<char>(m_alive)] {
            if (alive.expired() || m_fired)
                return;
            m_fired = true;
            if (m_waiter && m_guard)
                m_waiter.resume();
        },
        Qt::QueuedConnection);
}

void NextTurn::await_suspend(std::coroutine_handle<> waiter) const {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [waiter, guard = guard] {
            if (guard)
                waiter.resume();
        },
        Qt::QueuedConnection);
}
