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

SourceVerdict judgeSource(const QList<QUrl>& files) {
    if (files.size() != 1)
        return {std::nullopt, QStringLiteral("Bitte genau eine Videodatei ablegen.")};
    const QFileInfo file(files.front().toLocalFile());
    if (!files.front().isLocalFile() || !file.isFile())
        return {std::nullopt, QStringLiteral("Keine Videodatei: ") +
                                  files.front().toDisplayString(QUrl::PreferLocalFile)};
    if (!videoSuffixes().contains(file.suffix().toLower()))
        return {std::nullopt,
                QStringLiteral("Keine Videodatei (MKV, MP4, M4V …): ") + file.fileName()};
    return {file.absoluteFilePath(), {}};
}
