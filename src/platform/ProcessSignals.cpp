#include "ProcessSignals.h"

#include <QProcess>

#include <csignal>

namespace {

void sendSignal(QProcess& process, int signal)
{
    if (process.state() != QProcess::NotRunning && process.processId() > 0)
        ::kill(static_cast<pid_t>(process.processId()), signal);
}

} // namespace

void suspendProcess(QProcess& process) { sendSignal(process, SIGSTOP); }

void resumeProcess(QProcess& process) { sendSignal(process, SIGCONT); }

void terminateProcess(QProcess& process)
{
    sendSignal(process, SIGCONT);
    sendSignal(process, SIGTERM);
}

void killProcess(QProcess& process)
{
    sendSignal(process, SIGCONT);
    sendSignal(process, SIGKILL);
}
