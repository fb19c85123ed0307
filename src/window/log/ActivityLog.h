#pragma once

#include <QString>

#include <optional>
#include <vector>

// True when the line holds one of the log words, in any mix of capitals.
bool isLogWorthy(const QString& line);

// The window's log, newest line first. Lines are kept in arrival order and the text is built
// only when it is read, so a flood of lines costs time and memory in proportion to its size.
// A running dot pulse is the newest line; lines that arrive meanwhile go below it, and when the
// pulse stops its line stays with the dots it had last.
class ActivityLog {
public:
    // Puts the line on top (below a running pulse), with a line feed added when it has none.
    void append(const QString& line);

    void startPulse(const QString& base);
    void setPulseDots(int count);
    void stopPulse();

    void clear();
    bool isEmpty() const { return m_blocks.empty() && !m_pulseBase; }
    QString text() const;

private:
    QString pulseLine() const;

    std::vector<QString> m_blocks; // oldest first, each ending in a line feed
    std::optional<QString> m_pulseBase;
    int m_pulseDots = 0;
    mutable std::optional<QString> m_text;
};
