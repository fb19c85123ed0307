#include "SourceFiles.h"

#include <QFileInfo>

namespace {

const QStringList& videoSuffixes() {
    static const QStringList suffixes{"mkv", "mp4",  "m4v", "mov",  "avi",
                                      "mpg", "mpeg", "ts",  "m2ts", "webm"};
    return suffixes;
}

} // namespace

QString videoNameFilter() {
    QStringList patterns;
    for (const QString& suffix : videoSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("Videos (%1)").arg(patterns.join(u' '));
}

SourceVerdict judgeSource(const QList<QUrl>& files, SourceOrigin origin) {
    if (files.size() != 1)
        return {std::nullopt, origin == SourceOrigin::drop
                                  ? QStringLiteral("Bitte genau eine Videodatei ablegen.")
                                  : QStringLiteral("Bitte genau eine Videodatei auf der "
                                                   "Befehlszeile angeben.")};
    const QFileInfo file(files.front().toLocalFile());
    const QString shown = files.front().toDisplayString(QUrl::PreferLocalFile);
    if (files.front().isLocalFile() && !file.exists())
        return {std::nullopt, QStringLiteral("Datei nicht gefunden: ") + shown};
    if (!files.front().isLocalFile() || !file.isFile())
        return {std::nullopt, QStringLiteral("Keine Videodatei: ") + shown};
    if (!file.isReadable())
        return {std::nullopt, QStringLiteral("Datei nicht lesbar: ") + shown};
    if (!videoSuffixes().contains(file.suffix().toLower()))
        return {std::nullopt,
                QStringLiteral("Keine Videodatei (MKV, MP4, M4V …): ") + file.fileName()};
    return {file.absoluteFilePath(), {}};
}
