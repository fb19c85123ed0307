#pragma once

#include <QPointer>
#include <QProcess>

#include <memory>
#include <stop_token>

// How a running stage is steered from outside, shared between the stage's job and the operations
// it runs (copies refer to the same control). Cancelling stops the stage through its stop token:
// the tool it runs is ended, a burn is aborted. Suspending and resuming reach the tool that runs
// at that moment, with every process of its group; a tool that starts while the stage is
// suspended starts suspended. A burn cannot be suspended.
class StageControl {
    struct State {
        std::stop_source stop;
        QPointer<QProcess> tool;
        bool suspended = false;
    };

public:
    StageControl();

    std::stop_token stopToken() const { return m_state->stop.get_token(); }
    bool isCancelled() const { return m_state->stop.stop_requested(); }
    void cancel();
    void suspend();
    void resume();
    bool isSuspended() const { return m_state->suspended; }

    // Marks a tool as the one the stage runs, for as long as the returned record lives.
    class RunningTool {
    public:
        ~RunningTool();
        RunningTool(const RunningTool&) = delete;
        RunningTool& operator=(const RunningTool&) = delete;

    private:
        friend class StageControl;
        explicit RunningTool(std::shared_ptr<State> state)
            : m_state(std::move(state)) {}
        std::shared_ptr<State> m_state;
    };
    [[nodiscard]] RunningTool track(QProcess& tool);

private:
    std::shared_ptr<State> m_state;
};
