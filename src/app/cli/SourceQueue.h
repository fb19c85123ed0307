#pragma once

#include "CliReport.h"
#include "DiscRun.h"
#include "FFmpegService.h"
#include "platform/TerminationSignals.h"

#include <QCoroTask>
#include <QList>

#include <optional>

// The sources of one command line, run one after another as a queue, each to its own files: a
// source that fails is reported and the next one still runs. SIGINT, SIGTERM or SIGHUP cancel the
// running stage (its tool ends, and no file is left under a final name) and the sources after it.
class SourceQueue : public QObject {
    Q_OBJECT

public:
    SourceQueue(QList<RunRequest> requests, CliReport& report);

    // Runs every source and returns the exit status: 0 when all succeeded, 1 when any failed,
    // 128 + the signal when one ended the queue.
    QCoro::Task<int> run();

private:
    // Why a run cannot even start: its source is missing or unreadable, or its folder is.
    static std::optional<FFmpegError> refusal(const RunRequest& request);
    void cancel(int signal);

    const QList<RunRequest> m_requests;
    CliReport& m_report;
    FFmpegService m_service;
    TerminationSignals m_termination;
    DiscRun* m_running = nullptr;
    std::optional<int> m_signal;
};
