#include "ToolCheckMessage.h"

#include "platform/FileChecks.h"

QStringList missingToolEntries(const ToolPaths& tools, Stage from, Stage until) {
    QStringList entries;
    const std::tuple<QString, QString, Stage> needed[]{
        {QStringLiteral("ffmpeg"), tools.ffmpeg, Stage::encode},
        {QStringLiteral("dvdauthor"), tools.dvdauthor, Stage::authoring},
        {QStringLiteral("genisoimage"), tools.genisoimage, Stage::image},
    };
    for (const auto& [name, path, stage] : needed)
        if (stage >= from && stage <= until && !isExecutableFile(path))
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
