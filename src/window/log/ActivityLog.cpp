#include "ActivityLog.h"

#include <array>

bool isLogWorthy(const QString& line) {
    static const std::array<QString, 14> words{
        "fehler",      "error",       "failed",  "invalid",   "fertig",
        "abgebrochen", "erfolgreich", "kodiere", "startzeit", "voraussichtliches ende",
        "erstelle",    "brenne",      "prüfe",   "lösche"};
    const QString lowered = line.toLower();
    for (const QString& word : words)
        if (lowered.contains(word))
            return true;
    return false;
}

void ActivityLog::append(const QString& line) {
    m_blocks.push_back(line.endsWith(u'\n') ? line : line + u'\n');
    m_text.reset();
}

void ActivityLog::startPulse(const QString& base) {
    stopPulse();
    m_pulseBase = base;
    m_pulseDots = 1;
    m_text.reset();
}

void ActivityLog::setPulseDots(int count) {
    m_pulseDots = count;
    m_text.reset();
}

void ActivityLog::stopPulse() {
    if (!m_pulseBase)
        return;
    m_blocks.push_back(pulseLine() + u'\n');
    m_pulseBase.reset();
    m_pulseDots = 0;
    m_text.reset();
}

void ActivityLog::clear() {
    m_blocks.clear();
    m_pulseBase.reset();
    m_pulseDots = 0;
    m_text.reset();
}

QString ActivityLog::text() const {
    if (!m_text) {
        QString text;
        qsizetype size = m_pulseBase ? pulseLine().size() + 1 : 0;
        for (const QString& block : m_blocks)
            size += block.size();
        text.reserve(size);
        if (m_pulseBase)
            text += pulseLine() + u'\n';
        for (auto block = m_blocks.crbegin(); block != m_blocks.crend(); ++block)
            text += *block;
        m_text = text;
    }
    return *m_text;
}

QString ActivityLog::pulseLine() const {
    return *m_pulseBase + QString(m_pulseDots, u'.');
}
