#pragma once

#include <QObject>
#include <QPointer>

#include <coroutine>
#include <memory>

// A one-shot event that one coroutine on the UI thread can co_await. fire() may be called from
// any thread, from inside a signal or a stop callback: it only posts to the UI thread's event
// loop, where the event is marked and the waiting coroutine resumed, never inside the caller's
// stack. The resumption is dropped when the Wakeup itself or the guarding object has been
// destroyed in the meantime.
class Wakeup {
public:
    explicit Wakeup(QObject* guard);
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // Context for connections that fire this wakeup; they end with it.
    QObject* context() { return &m_context; }
    void fire();

    // co_await wake.fired();
    struct Awaiter {
        Wakeup* wakeup;
        bool await_ready() const noexcept { return wakeup->m_fired; }
        void await_suspend(std::coroutine_handle<> waiter) noexcept { wakeup->m_waiter = waiter; }
        void await_resume() const noexcept {}
    };
    Awaiter fired() { return {this}; }

private:
    QObject m_context;
    QPointer<QObject> m_guard;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
    std::coroutine_handle<> m_waiter;
    bool m_fired = false;
};

// co_await nextTurn(guard): resumes from the event loop after every event queued before, so
// jobs that were scheduled earlier have run by then. Dropped when guard has been destroyed.
struct NextTurn {
    QPointer<QObject> guard;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiter) const;
    void await_resume() const noexcept {}
};
inline NextTurn nextTurn(QObject* guard) {
    return {guard};
}
