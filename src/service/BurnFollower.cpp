#include "BurnFollower.h"

#include "FFmpegService.h"

BurnFollower::BurnFollower(ProgressCallback onProgress, StatusCallback onStatus, LogCallback onLog)
    : m_onProgress(std::move(onProgress))
    , m_onStatus(std::move(onStatus))
    , m_onLog(std::move(onLog)) {}

bool BurnFollower::follow(const BurnReport& report) {
    if (m_ended)
        return false;
    if (report.setupError) {
        noteReasons(report.messages);
        m_failure = FFmpegError::conversionFailed(*report.setupError, m_reasons.join(u'\n'));
        return m_ended = true;
    }
    if (report.fraction)
        m_onProgress(*report.fraction);
    for (const QString& message : report.messages)
        m_onLog(message);
    noteReasons(report.messages);
    if (report.state != m_lastState) {
        m_lastState = report.state;
        const QString text = burnStateText(report.state);
        m_onLog(text);
        m_onStatus(report.state, text);
    }
    if (report.state == BurnState::failed)
        m_failure = FFmpegError::conversionFailed(-3, m_reasons.join(u'\n'));
    return m_ended = report.state == BurnState::done || report.state == BurnState::failed;
}

void BurnFollower::noteReasons(const QStringList& messages) {
    for (const QString& message : messages)
        if (message.startsWith(QStringLiteral("Fehler")))
            m_reasons << message;
}
