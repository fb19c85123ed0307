#include "SubtitleParser.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

// Tags in angle brackets (SubRip, WebVTT) and override blocks in braces (ASS).
QString plainText(QString text, bool& italic) {
    static const QRegularExpression italicTag(QStringLiteral("<i>|\\{\\\\i1\\}"));
    static const QRegularExpression markup(QStringLiteral("<[^>]*>|\\{[^}]*\\}"));
    italic = text.contains(italicTag);
    text.replace(QLatin1String("\\N"), QLatin1String("\n"), Qt::CaseInsensitive);
    text.replace(QLatin1String("\\h"), QLatin1String(" "));
    text.remove(markup);
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    QStringList lines;
    for (const QString& line : text.split(u'\n'))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines.join(u'\n');
}

void addCue(QList<SubtitleCue>& cues, double start, double end, const QString& raw) {
    SubtitleCue cue;
    cue.start = start;
    cue.end = end;
    cue.text = plainText(raw, cue.italic);
    if (!cue.text.isEmpty() && end > start)
        cues.append(cue);
}

// SubRip and WebVTT: blocks of a time line "start --> end" and the text lines after it.
QList<SubtitleCue> parseTimedBlocks(const QStringList& lines) {
    QList<SubtitleCue> cues;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype arrow = lines[i].indexOf(QLatin1String("-->"));
        if (arrow < 0)
            continue;
        const std::optional<double> start = subtitleTime(lines[i].left(arrow).trimmed());
        const std::optional<double> end =
            subtitleTime(lines[i].mid(arrow + 3).trimmed().section(u' ', 0, 0));
        QStringList text;
        while (i + 1 < lines.size() && !lines[i + 1].trimmed().isEmpty())
            text << lines[++i];
        if (start && end)
            addCue(cues, *start, *end, text.join(u'\n'));
    }
    return cues;
}

// ASS/SSA: "Dialogue:" lines whose fields the "Format:" line of the events names.
QList<SubtitleCue> parseAss(const QStringList& lines) {
    QList<SubtitleCue> cues;
    QStringList format;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("Format:")) && line.contains(QLatin1String("Text"))) {
            format = line.mid(7).split(u',');
            for (QString& field : format)
                field = field.trimmed();
        }
        if (!line.startsWith(QLatin1String("Dialogue:")) || format.isEmpty())
            continue;
        // The text is the last field and may itself hold commas.
        const QStringList fields = line.mid(9).split(u',');
        if (fields.size() < format.size())
            continue;
        const std::optional<double> start =
            subtitleTime(fields[format.indexOf(u"Start")].trimmed());
        const std::optional<double> end = subtitleTime(fields[format.indexOf(u"End")].trimmed());
        const QString text = fields.mid(format.size() - 1).join(u',');
        if (start && end)
            addCue(cues, *start, *end, text);
    }
    return cues;
}

} // namespace

std::optional<double> subtitleTime(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(\\d+):)?(\\d{1,2}):(\\d{2})[,.](\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString fraction = match.captured(4);
    return match.captured(1).toInt() * 3600.0 + match.captured(2).toInt() * 60.0 +
           match.captured(3).toInt() + fraction.toInt() / std::pow(10.0, fraction.size());
}

QList<SubtitleCue> parseSubtitles(const QString& text) {
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(u'\r', u'\n');
    const QStringList lines = normalised.split(u'\n');
    if (normalised.contains(QLatin1String("[Events]")))
        return parseAss(lines);
    return parseTimedBlocks(lines);
}
