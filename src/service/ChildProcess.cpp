#include "ChildProcess.h"

#include "FFmpegError.h"
#include "Wakeup.h"
#include "platform/FileChecks.h"
#include "platform/ProcessSignals.h"

#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int terminateGraceMs = 3000;

} // namespace

ChildProcess::ChildProcess(QObject* owner, const QString& path, const QStringList& arguments,
                           const std::optional<Environment>& environment)
    : m_owner(owner)
    , m_path(path)
    , m_process(new QProcess(owner)) {
    m_process->setProgram(path);
    m_process->setArguments(arguments);
    // Runs in the child between fork and exec: only async-signal-safe calls. The death signal
    // follows the thread that forks, the UI thread, which lives as long as the application.
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });
    if (environment) {
        QProcessEnvironment merged = QProcessEnvironment::systemEnvironment();
        for (auto it = environment->cbegin(); it != environment->cend(); ++it)
            merged.insert(it.key(), it.value());
        m_process->setProcessEnvironment(merged);
    }
}

ChildProcess::~ChildProcess() {
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        killProcess(*m_process);
        m_process->waitForFinished(terminateGraceMs);
    }
    delete m_process;
}

QCoro::Task<> ChildProcess::start() {
    Wakeup wake(m_owner);
    bool failed = false;
    QObject::connect(m_process, &QProcess::started, wake.context(), [&] { wake.fire(); });
    QObject::connect(m_process, &QProcess::errorOccurred, wake.context(),
                     [&](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             failed = true;
                             wake.fire();
                         }
                     });
    m_process->start();
    if (m_process->state() == QProcess::Starting)
        co_await wake.fired();
    if (failed || m_process->error() == QProcess::FailedToStart)
        throw FFmpegError::launchFailed(m_path, launchFailureReason(m_path));
}

QCoro::Task<> ChildProcess::exited(std::stop_token stop) {
    if (m_process->state() != QProcess::NotRunning) {
        Wakeup wake(m_owner);
        QObject::connect(m_process, &QProcess::finished, wake.context(), [&] { wake.fire(); });
        std::stop_callback onStop(stop, [&] { wake.fire(); });
        co_await wake.fired();
    }
    if (stop.stop_requested()) {
        co_await end();
        throw FFmpegError::cancelled();
    }
}

QCoro::Task<> ChildProcess::end() {
    if (m_process->state() == QProcess::NotRunning)
        co_return;
    const auto group = static_cast<pid_t>(m_process->processId());
    Wakeup wake(m_owner);
    QObject::connect(m_process, &QProcess::finished, wake.context(), [&] { wake.fire(); });
    QTimer escalation;
    escalation.setSingleShot(true);
    // Bound to the process: a run abandoned with its window leaves this frame unfinished, and the
    // timer must then not reach for a process that is gone.
    QObject::connect(&escalation, &QTimer::timeout, m_process,
                     [process = m_process.data()] { killProcess(*process); });
    terminateProcess(*m_process);
    escalation.start(terminateGraceMs);
    co_await wake.fired();
    // A tool that ends cleanly on the request may leave what it started behind: nothing of its
    // group outlives the cancelled stage.
    ::killpg(group, SIGKILL);
}

int ChildProcess::status() const {
    return m_process->exitCode();
}

bool ChildProcess::killedBySignal() const {
    return m_process->exitStatus() == QProcess::CrashExit;
}
