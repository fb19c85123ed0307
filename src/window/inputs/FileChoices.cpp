#include "ContentView.h"
#include "FileNames.h"
#include "SourceFiles.h"

#include <QDir>

void ContentView::chooseSource() {
    const std::optional<QString> chosen = m_filePanels.chooseFileToOpen(
        QStringLiteral("Wähle eine MKV oder MP4 Datei"), {videoNameFilter()});
    if (chosen)
        applySource(*chosen);
}

bool ContentView::openSource(const QList<QUrl>& files, SourceOrigin origin) {
    if (isRunning())
        return false;
    const SourceVerdict verdict = judgeSource(files, origin);
    if (verdict.source)
        applySource(*verdict.source);
    else
        statusText = verdict.refusal;
    return bool(verdict.source);
}

void ContentView::applySource(const QString& path) {
    sourceURL = path;
    destinationURL = destinationFor(path);
    dvdFolderURL = std::nullopt;
    isoURL = std::nullopt;
    launch(reloadAudioStreams());
}

void ContentView::chooseDestination() {
    const QString proposed =
        destinationURL().value_or(QDir::home().filePath(QStringLiteral("output_PAL_DVD.mpg")));
    const std::optional<QString> chosen = m_filePanels.chooseFileToSave(
        QStringLiteral("Wähle den Zielnamen für die PAL-DVD-MPG-Datei"),
        {QStringLiteral("MPEG (*.mpg *.mpeg)")}, proposed);
    if (chosen)
        applyDestination(*chosen);
}

void ContentView::applyDestination(const QString& path) {
    destinationURL = path;
    dvdFolderURL = std::nullopt;
    isoURL = std::nullopt;
}

void ContentView::chooseISODestination() {
    if (!dvdFolderURL())
        return;
    const std::optional<QString> chosen = m_filePanels.chooseFileToSave(
        QStringLiteral("Wähle den Namen/Ort für die ISO-Datei"), {QStringLiteral("ISO (*.iso)")},
        *dvdFolderURL() + QStringLiteral(".iso"));
    if (chosen)
        applyISODestination(*chosen);
}

void ContentView::applyISODestination(const QString& path) {
    isoURL = path;
}
