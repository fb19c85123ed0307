#include "SubtitleTrack.h"

#include <QFileInfo>
#include <QStringList>

QString SubtitleTrack::label(int number) const {
    QStringList parts{language.value_or(QStringLiteral("?")), format};
    if (!title.isEmpty())
        parts << title;
    if (!streamIndex)
        parts << QFileInfo(path).fileName();
    if (forced)
        parts << QStringLiteral("erzwungen");
    return QStringLiteral("%1: %2").arg(number).arg(parts.join(QStringLiteral(", ")));
}

bool SubtitleTrack::isText() const {
    static const QStringList text{QStringLiteral("subrip"),   QStringLiteral("srt"),
                                  QStringLiteral("ass"),      QStringLiteral("ssa"),
                                  QStringLiteral("mov_text"), QStringLiteral("webvtt"),
                                  QStringLiteral("text")};
    return text.contains(format);
}

bool SubtitleTrack::isBitmap() const {
    static const QStringList pictures{QStringLiteral("hdmv_pgs_subtitle"),
                                      QStringLiteral("dvd_subtitle"),
                                      QStringLiteral("dvb_subtitle")};
    return streamIndex && pictures.contains(format);
}
