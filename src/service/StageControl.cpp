#include "StageControl.h"

#include "platform/ProcessSignals.h"

StageControl::StageControl()
    : m_state(std::make_shared<State>()) {}

// The runner that holds the tool ends it through the stop token; see ChildProcess::exited.
void StageControl::cancel() {
    m_state->stop.request_stop();
}

void StageControl::suspend() {
    m_state->suspended = true;
    if (m_state->tool)
        suspendProcess(*m_state->tool);
}

void StageControl::resume() {
    m_state->suspended = false;
    if (m_state->tool)
        resumeProcess(*m_state->tool);
}

StageControl::RunningTool StageControl::track(QProcess& tool) {
    m_state->tool = &tool;
    if (m_state->suspended)
        suspendProcess(tool);
    return RunningTool(m_state);
}

StageControl::RunningTool::~RunningTool() {
    m_state->tool = nullptr;
}
