#include "ContentView.h"

#include <QSaveFile>

namespace {

constexpr int pulseIntervalMs = 1000;

} // namespace

void ContentView::appendLog(const QString& line) {
    m_log.append(line);
    announce();
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
    m_dotLogTask.start(0);
    announce();
}

void ContentView::stopDotPulse() {
    m_dotLogTask.stop();
    dotLineBase = std::nullopt;
    dotCount = 0;
    m_log.stopPulse();
    announce();
}

void ContentView::pulseStep() {
    if (!isRunning()) {
        m_dotLogTask.stop();
        return;
    }
    dotCount = dotCount() % 3 + 1;
    m_log.setPulseDots(dotCount());
    m_dotLogTask.setInterval(pulseIntervalMs);
}

void ContentView::saveLog() {
    if (isRunning() || m_log.isEmpty())
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
}

void ContentView::clearLog() {
    if (isRunning() || !toolsOK())
        return;
    m_log.clear();
    announce();
}
