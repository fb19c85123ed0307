#pragma once

#include "DiscRun.h"

#include <QList>
#include <QStringList>

#include <memory>

// A DiscRun with everything it reported, each in the order it came, for tests that act while it
// runs or judge it when it has ended.
namespace testing {

class RecordedRun {
public:
    RecordedRun(FFmpegService& service, const RunRequest& request,
                const Clock& clock = Clock::system());
    RecordedRun(const RecordedRun&) = delete;
    RecordedRun& operator=(const RecordedRun&) = delete;

    DiscRun& run() { return *m_run; }
    // Starts the run; finish() runs the event loop until it has ended (at most timeoutMs).
    void start();
    bool finish(int timeoutMs = 180000);
    // Both, for a run that is only judged when it has ended; true when it succeeded.
    bool succeeds(int timeoutMs = 180000);
    bool hasEnded() const { return m_ending.has_value(); }
    const RunEnding& ending() const { return *m_ending; }
    // The ending's message, for check messages; "succeeded" for a success, "running" before the
    // end.
    QByteArray story() const;

    QList<Stage> stages;
    QList<RunProgress> progress;
    QStringList toolLines;
    QStringList notes;
    QList<BurnState> burnStates;

private:
    std::unique_ptr<DiscRun> m_run;
    std::optional<RunEnding> m_ending;
};

// A request with the real tools installed here, from the first stage to the last, with the
// settings of "Standard" on a DVD-5.
RunRequest realToolsRequest(Stage from, Stage until, const QString& input, const QString& mpg = {});

} // namespace testing
