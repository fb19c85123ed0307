#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe, read by the handler on whatever thread the signal interrupts.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Async-signal-safe: one byte into a non-blocking pipe. A full pipe drops the byte; the
// application is already being told to end.
void onSignal(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd.load(), &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    Q_ASSERT_X(g_writeEnd.load() < 0, "TerminationSignals", "one at a time per process");
    int ends[2];
    // Without a pipe (no descriptors left) the signals keep ending the process as before.
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    g_writeEnd.store(m_writeEnd);
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);

    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &action, &m_previous[i]);
}

TerminationSignals::~TerminationSignals() {
    if (m_readEnd < 0)
        return;
    for (size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &m_previous[i], nullptr);
    g_writeEnd.store(-1);
    ::close(m_writeEnd);
    ::close(m_readEnd);
}

void TerminationSignals::readSignals() {
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(m_readEnd, numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit terminationRequested(numbers[i]);
    }
}
