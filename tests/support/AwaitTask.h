#pragma once

#include "FFmpegError.h"

#include <QCoroTask>
#include <QString>
#include <QTest>

#include <exception>
#include <memory>
#include <optional>

// Runs the event loop until a task has ended and hands back how it ended, rethrowing nothing
// (QCoro::waitFor would hang for ever on a task that throws).
namespace testing {

struct TaskEnding {
    std::optional<FFmpegError> error; // the task failed with an FFmpegError
    QString unexpected;               // the task failed otherwise, or did not end in time
    bool done = false;

    QByteArray story() const { // for check messages
        return (error                  ? error->description()
                : unexpected.isEmpty() ? "succeeded"
                                       : unexpected)
            .toUtf8();
    }
};

template <typename T> struct Outcome : TaskEnding {
    std::optional<T> value;
    bool succeeded() const { return value.has_value(); }
};

template <> struct Outcome<void> : TaskEnding {
    bool succeeded() const { return done && !error && unexpected.isEmpty(); }
};

template <typename T>
QCoro::Task<> record(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> outcome) {
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            outcome->value.emplace(co_await std::move(task));
    } catch (const FFmpegError& error) {
        outcome->error = error;
    } catch (const std::exception& error) {
        outcome->unexpected = QString::fromUtf8(error.what());
    }
    outcome->done = true;
}

// Lets a task run on and records how it ends; the outcome outlives a test that returns early.
template <typename T> std::shared_ptr<Outcome<T>> start(QCoro::Task<T> task) {
    auto outcome = std::make_shared<Outcome<T>>();
    record(std::move(task), outcome);
    return outcome;
}

template <typename T> Outcome<T> await(QCoro::Task<T> task, int timeoutMs = 180000) {
    const auto outcome = start(std::move(task));
    if (!QTest::qWaitFor([&] { return outcome->done; }, timeoutMs))
        outcome->unexpected = QStringLiteral("did not end in time");
    return *outcome;
}

} // namespace testing
