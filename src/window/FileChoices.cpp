#include "ContentView.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The file's folder joined with its name without the last extension, plus suffix.
QString besideWithSuffix(const QString& path, const QString& suffix) {
    const QFileInfo file(path);
    QString base = file.fileName();
    const qsizetype dot = base.lastIndexOf(u'.');
    if (dot > 0)
        base.truncate(dot);
    return QDir(file.absolutePath()).filePath(base + suffix);
}

} // namespace

QString destinationFor(const QString& source) {
    return besideWithSuffix(source, QStringLiteral("_PAL_DVD.mpg"));
}

void ContentView::chooseSource() {
    const std::optional<QString> chosen = m_filePanels.chooseFileToOpen(
        QStringLiteral("Wähle eine MKV oder MP4 Datei"),
        {QStringLiteral("Videos (*.mkv *.mp4 *.m4v *.mov *.avi *.mpg *.mpeg *.ts *.m2ts *.webm)")});
    if (!chosen)
        return;
    sourceURL = *chosen;
    destinationURL = destinationFor(*chosen);
    dvdFolderURL.reset();
    isoURL.reset();
    notifyChanged();
    launch(reloadAudioStreams());
}

void ContentView::chooseDestination() {
    const QString proposed =
        destinationURL.value_or(QDir::home().filePath(QStringLiteral("output_PAL_DVD.mpg")));
    const std::optional<QString> chosen = m_filePanels.chooseFileToSave(
        QStringLiteral("Wähle den Zielnamen für die PAL-DVD-MPG-Datei"),
        {QStringLiteral("MPEG (*.mpg *.mpeg)")}, proposed);
    if (!chosen)
        return;
    destinationURL = *chosen;
    dvdFolderURL.reset();
    isoURL.reset();
    notifyChanged();
}

void ContentView::chooseISODestination() {
    if (!dvdFolderURL)
        return;
    const std::optional<QString> chosen = m_filePanels.chooseFileToSave(
        QStringLiteral("Wähle den Namen/Ort für die ISO-Datei"), {QStringLiteral("ISO (*.iso)")},
        *dvdFolderURL + QStringLiteral(".iso"));
    if (!chosen)
        return;
    isoURL = *chosen;
    notifyChanged();
}
