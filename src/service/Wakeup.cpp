#include "Wakeup.h"

#include <QCoreApplication>
#include <QMetaObject>

Wakeup::Wakeup(QObject* guard)
    : m_guard(guard) {}

void Wakeup::fire() {
    if (m_fired)
        return;
    m_fired = true;
    if (!m_waiter)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [waiter = m_waiter, guard = m_guard, alive = std::weak_ptr<char>(m_alive)] {
            if (guard && !alive.expired())
                waiter.resume();
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
