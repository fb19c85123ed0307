#pragma once

#include "ServiceTypes.h"

#include <QCoroTask>
#include <QPointer>
#include <QProcess>

#include <optional>
#include <stop_token>

// One tool run as a child process, started from a path and an argument list without a shell.
// The child leads a process group of its own, so that pausing and ending it reach whatever it
// starts, and it dies with Kestrin, also when Kestrin is killed. No child outlives its
// ChildProcess: one still running when it is destroyed (or when its owner is) is continued and
// killed.
class ChildProcess {
public:
    ChildProcess(QObject* owner, const QString& path, const QStringList& arguments,
                 const std::optional<Environment>& environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    QProcess& process() { return *m_process; }

    // Fails with FFmpegError::launchFailed when the program cannot be started.
    QCoro::Task<> start();
    // Returns once the child has exited. A stop request ends the child (terminate, then kill
    // after a grace period) and fails with FFmpegError::cancelled once it is gone.
    QCoro::Task<> exited(std::stop_token stop);
    // The exit code, or the number of the signal that ended the child.
    int status() const;
    bool killedBySignal() const;

private:
    QCoro::Task<> end();

    QObject* m_owner;
    QString m_path;
    QPointer<QProcess> m_process;
};
