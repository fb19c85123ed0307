#include "SubtitleSideFiles.h"

#include "LanguageCodes.h"

#include <QDir>
#include <QFileInfo>

QList<SubtitleTrack> subtitleSideFiles(const QString& video) {
    const QFileInfo info(video);
    const QString base = info.completeBaseName();
    const QStringList extensions{QStringLiteral("srt"), QStringLiteral("ass"),
                                 QStringLiteral("ssa"), QStringLiteral("vtt")};
    QList<SubtitleTrack> tracks;
    const QDir folder = info.dir();
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files, QDir::Name)) {
        const QString extension = file.suffix().toLower();
        const QString name = file.fileName();
        if (!extensions.contains(extension) || !name.startsWith(base + u'.'))
            continue;
        SubtitleTrack track;
        track.path = file.absoluteFilePath();
        track.format = extension == QLatin1String("srt")   ? QStringLiteral("subrip")
                       : extension == QLatin1String("vtt") ? QStringLiteral("webvtt")
                                                           : extension;
        QString middle = name.mid(base.size() + 1);
        middle.chop(extension.size() + 1);
        for (const QString& part : middle.split(u'.', Qt::SkipEmptyParts)) {
            if (part.compare(QLatin1String("forced"), Qt::CaseInsensitive) == 0)
                track.forced = true;
            else if (const std::optional<QString> language = twoLetterLanguage(part))
                track.language = language;
        }
        tracks.append(track);
    }
    return tracks;
}
