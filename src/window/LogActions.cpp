#include "ContentView.h"

#include <QSaveFile>

namespace {

constexpr int pulseIntervalMs = 1000;

} // namespace

void ContentView::appendLog(const QString& line) {
    m_log.append(line);
    notifyChanged();
}

void ContentView::handleToolLogLine(const QString& line) {
    if (isLogWorthy(line))
        appendLog(line);
}

void ContentView::startDotPulse(const QString& text) {
    stopDotPulse();
    dotLineBase = text;
    dotCount = 1;
    m_log.startPulse(text);
    // The first step comes as soon as the event loop runs, then one a second.
    dotLogTask.start(0);
    notifyChanged();
}

void ContentView::stopDotPulse() {
    dotLogTask.stop();
    dotLineBase.reset();
    dotCount = 0;
    m_log.stopPulse();
    notifyChanged();
}

void ContentView::pulseStep() {
    if (!m_isRunning) {
        dotLogTask.stop();
        return;
    }
    dotCount = dotCount % 3 + 1;
    renderDotLine();
    dotLogTask.setInterval(pulseIntervalMs);
}

void ContentView::renderDotLine() {
    if (!dotLineBase)
        return;
    m_log.setPulseDots(dotCount);
    notifyChanged();
}

void ContentView::saveLog() {
    if (m_isRunning || m_log.isEmpty())
        return;
    const std::optional<QString> path = m_filePanels.chooseFileToSave(
        QStringLiteral("Speichere das Log als Textdatei"), {QStringLiteral("Textdatei (*.txt)")},
        QStringLiteral("Kestrin_Log.txt"));
    if (!path)
        return;
    // Written beside the target and renamed at the end: a failed save leaves any older file.
    QSaveFile file(*path);
    const QByteArray text = logText().toUtf8();
    const bool saved =
        file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
    statusText = saved ? QStringLiteral("Log gespeichert ✅")
                       : QStringLiteral("Fehler ❌ Log konnte nicht gespeichert werden");
    notifyChanged();
}

void ContentView::clearLog() {
    if (m_isRunning || !toolsOK)
        return;
    m_log.clear();
    notifyChanged();
}
