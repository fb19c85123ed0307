#pragma once

#include "FFmpegError.h"

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

// The FFmpegError a task ended with, if any.
inline std::optional<FFmpegError> errorOf(const Outcome<void>& outcome) {
    if (!outcome.error)
        return std::nullopt;
    try {
        std::rethrow_exception(outcome.error);
    } catch (const FFmpegError& error) {
        return error;
    }
}

// Awaits a task that may fail and hands back its FFmpegError, if any.
template <typename T> std::optional<FFmpegError> awaitError(QCoro::Task<T> task) {
    try {
        await(std::move(task));
    } catch (const FFmpegError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace testing
