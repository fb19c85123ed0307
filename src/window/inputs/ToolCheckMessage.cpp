#include "ToolCheckMessage.h"

#include "platform/FileChecks.h"

QStringList missingToolEntries(const QString& ffmpegPath, const QString& dvdauthorPath,
                               const QString& genisoimagePath) {
    QStringList entries;
    const std::pair<QString, QString> tools[]{
        {QStringLiteral("ffmpeg"), ffmpegPath},
        {QStringLiteral("dvdauthor"), dvdauthorPath},
        {QStringLiteral("genisoimage"), genisoimagePath},
    };
    for (const auto& [name, path] : tools)
        if (!isExecutableFile(path))
            entries << name + QStringLiteral(" (") + path + u')';
    return entries;
}

QString missingToolsText(const QStringList& entries) {
    QStringList bullets;
    for (const QString& entry : entries)
        bullets << QStringLiteral("• ") + entry;
    return QStringLiteral("Folgende Tools fehlen oder sind nicht ausführbar:\n\n") +
           bullets.join(u'\n') + QStringLiteral("\n\nInstallation (apt):\n") +
           QStringLiteral("sudo apt install ffmpeg\n") +
           QStringLiteral("sudo apt install dvdauthor genisoimage\n\n") +
           QStringLiteral("Öffne Einstellungen, um Pfade anzupassen, oder beende die App.");
}
