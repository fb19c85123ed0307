#include "DiscTitle.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

constexpr double chapterEverySeconds = 5 * 60;
constexpr double closestChapters = 1.0;
// DVD-Video allows 99 parts of title in one title.
constexpr int mostChapters = 99;

} // namespace

QList<double> chapterStarts(const QList<double>& sourceMarks, double origin, double scale,
                            std::optional<double> encodedDuration) {
    const double end = encodedDuration.value_or(INFINITY);
    QList<double> marks;
    for (double mark : sourceMarks)
        marks.append(std::max(0.0, (mark - origin) * scale));
    std::sort(marks.begin(), marks.end());
    if (marks.size() < 2) {
        marks.clear();
        if (encodedDuration)
            for (double at = chapterEverySeconds; at < end; at += chapterEverySeconds)
                marks.append(at);
    }

    QList<double> starts{0.0};
    for (double mark : marks)
        if (mark < end && mark - starts.last() >= closestChapters && starts.size() < mostChapters)
            starts.append(mark);
    return starts;
}

QString chapterTime(double seconds) {
    const qint64 millis = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%lld:%02lld:%02lld.%03lld", millis / 3'600'000, millis / 60'000 % 60,
                             millis / 1000 % 60, millis % 1000);
}

QStringList titleSetArguments(const QString& mpg, const QString& dvdFolder,
                              const DiscTitle& title) {
    QStringList arguments{QStringLiteral("-t")};
    // One description per track, comma-separated. A track of unknown language says "nolang":
    // a format alone ("ac3") makes dvdauthor 0.7.2 give the tracks each other's channel counts.
    QStringList audio;
    for (const std::optional<QString>& language : title.audioLanguages)
        audio << language.value_or(QStringLiteral("nolang"));
    if (std::any_of(title.audioLanguages.cbegin(), title.audioLanguages.cend(),
                    [](const auto& language) { return language.has_value(); }))
        arguments << QStringLiteral("-a") << audio.join(u',');
    if (title.chapterStarts.size() > 1) {
        QStringList times;
        for (double start : title.chapterStarts)
            times << chapterTime(start);
        arguments << QStringLiteral("-c") << times.join(u',');
    }
    if (!title.subtitles.isEmpty()) {
        QStringList languages;
        for (const SubtitleTrack& track : title.subtitles)
            languages << track.language.value_or(QStringLiteral("nolang"));
        arguments << QStringLiteral("-s") << languages.join(u',');
    }
    arguments << mpg << QStringLiteral("-o") << dvdFolder;
    return arguments;
}

bool isDvdVideoFile(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^(VIDEO_TS|VTS_[0-9]{2}_[0-9])\\.(IFO|BUP|VOB)$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name).hasMatch();
}
