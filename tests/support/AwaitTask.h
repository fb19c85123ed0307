#pragma once

#include <QCoroTask>
#include <QTest>

#include <exception>
#include <optional>

// Runs the event loop until a task has ended and hands back its value, or rethrows what it threw.
// (QCoro::waitFor would hang for ever on a task that throws.)
namespace testing {

template <typename T> struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
};

template <> struct Outcome<void> {
    std::exception_ptr error;
    bool done = false;
};

template <typename T> QCoro::Task<> capture(QCoro::Task<T> task, Outcome<T>* outcome) {
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            outcome->value.emplace(co_await std::move(task));
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

template <typename T> T await(QCoro::Task<T> task, int timeoutMs = 180000) {
    Outcome<T> outcome;
    auto running = capture(std::move(task), &outcome);
    if (!QTest::qWaitFor([&] { return outcome.done; }, timeoutMs))
        throw std::runtime_error("task did not end in time");
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome.value);
}

} // namespace testing
