#include "SourceQueue.h"

#include <QFileInfo>

SourceQueue::SourceQueue(QList<RunRequest> requests, CliReport& report)
    : m_requests(std::move(requests))
    , m_report(report) {
    connect(&m_termination, &TerminationSignals::terminationRequested, this, &SourceQueue::cancel);
}

QCoro::Task<int> SourceQueue::run() {
    // Sources that cannot be read are named before any tool runs, not after hours of encoding.
    QList<qsizetype> runnable;
    for (qsizetype i = 0; i < m_requests.size(); ++i) {
        const RunRequest& request = m_requests[i];
        if (const std::optional<FFmpegError> reason = refusal(request))
            m_report.ended(request.input, {RunEnding::Outcome::failed, request.from, *reason, {}});
        else
            runnable << i;
    }
    qsizetype succeeded = 0;
    for (const qsizetype i : runnable) {
        if (m_signal)
            break;
        const RunRequest& request = m_requests[i];
        m_report.beginSource(request.input, i + 1, m_requests.size());
        DiscRun run(m_service, request);
        connect(&run, &DiscRun::stageStarted, this,
                [this](Stage stage) { m_report.stageStarted(stage); });
        connect(&run, &DiscRun::progressed, this,
                [this](const RunProgress& progress) { m_report.progressed(progress); });
        connect(&run, &DiscRun::noted, this, [this](const QString& line) { m_report.noted(line); });
        connect(&run, &DiscRun::burnStateChanged, this,
                [this](BurnState, const QString& text) { m_report.noted(text); });
        connect(&run, &DiscRun::stageCompleted, this,
                [this](Stage stage) { m_report.stageCompleted(stage); });
        m_running = &run;
        const RunEnding ending = co_await run.run();
        m_running = nullptr;
        m_report.ended(request.input, ending);
        succeeded += ending.succeeded() ? 1 : 0;
    }
    m_report.summary(succeeded, m_requests.size());
    if (m_signal)
        co_return 128 + *m_signal;
    co_return succeeded == m_requests.size() ? 0 : 1;
}

std::optional<FFmpegError> SourceQueue::refusal(const RunRequest& request) {
    const QFileInfo source(request.input);
    if (!source.exists())
        return FFmpegError::fileFailed(request.input, QStringLiteral("Quelldatei nicht gefunden"));
    if (!source.isFile() || !source.isReadable())
        return FFmpegError::fileFailed(request.input, QStringLiteral("Quelldatei nicht lesbar"));
    const QFileInfo folder(QFileInfo(request.mpg).absolutePath());
    if (!folder.isDir())
        return FFmpegError::fileFailed(folder.filePath(),
                                       QStringLiteral("Zielordner nicht gefunden"));
    return std::nullopt;
}

void SourceQueue::cancel(int signal) {
    if (!m_signal)
        m_signal = signal;
    if (m_running)
        m_running->cancel();
}
