#pragma once

#include "FFmpegError.h"
#include "ServiceTypes.h"
#include "platform/BurnerBackend.h"

#include <QStringList>

#include <optional>

// Follows the reports of one burn for the caller of burnISO: every fraction goes to onProgress,
// the recorder's messages to onLog, and each new state once to onLog and onStatus with its
// German text. Reports after the burn has ended are ignored.
class BurnFollower {
public:
    BurnFollower(ProgressCallback onProgress, StatusCallback onStatus, LogCallback onLog);

    // Returns true exactly once: for the report with which the burn ended.
    bool follow(const BurnReport& report);
    // Why the burn failed, once it has ended without success.
    std::optional<FFmpegError> failure() const { return m_failure; }

private:
    // The recorder's failure lines ("Fehler: …") are the reason the failure carries.
    void noteReasons(const QStringList& messages);

    ProgressCallback m_onProgress;
    StatusCallback m_onStatus;
    LogCallback m_onLog;
    BurnState m_lastState = BurnState::none;
    bool m_ended = false;
    std::optional<FFmpegError> m_failure;
    QStringList m_reasons;
};
