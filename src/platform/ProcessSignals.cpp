#include "ProcessSignals.h"

#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace {

// A tool that leads its own process group (every ChildProcess does) gets the signal for the whole
// group, so the helpers it runs pause, continue and end with it.
void sendSignal(QProcess& process, int signal) {
    if (process.state() == QProcess::NotRunning || process.processId() <= 0)
        return;
    const auto pid = static_cast<pid_t>(process.processId());
    if (::getpgid(pid) == pid)
        ::killpg(pid, signal);
    else
        ::kill(pid, signal);
}

} // namespace

void suspendProcess(QProcess& process) {
    sendSignal(process, SIGSTOP);
}

void resumeProcess(QProcess& process) {
    sendSignal(process, SIGCONT);
}

void terminateProcess(QProcess& process) {
    sendSignal(process, SIGCONT);
    sendSignal(process, SIGTERM);
}

void killProcess(QProcess& process) {
    sendSignal(process, SIGCONT);
    sendSignal(process, SIGKILL);
}
