#include "SubtitleReading.h"

#include "BitmapSubtitleReading.h"

#include "SubtitleParser.h"
#include "SubtitleText.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The text of a text track: a stream of the source as SubRip from ffmpeg, or a file beside it.
QCoro::Task<std::optional<QString>> readText(FFmpegService& service, SubtitleTrack track,
                                             QString ffmpegPath, StageControl control) {
    if (!track.streamIndex) {
        QFile file(track.path);
        co_return file.open(QIODevice::ReadOnly) ? decodeSubtitleText(file.readAll())
                                                 : std::nullopt;
    }
    const QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                                QStringLiteral("error"), QStringLiteral("-i"),
                                // A name that starts with a dash is no option.
                                QFileInfo(track.path).absoluteFilePath(), QStringLiteral("-map"),
                                QStringLiteral("0:%1").arg(*track.streamIndex),
                                QStringLiteral("-c:s"), QStringLiteral("srt"), QStringLiteral("-f"),
                                QStringLiteral("srt"), QStringLiteral("-")};
    const ToolResult result =
        co_await service.runTool(ffmpegPath, arguments, std::nullopt, control);
    if (result.status != 0 || result.killedBySignal)
        co_return std::nullopt;
    co_return result.output;
}

} // namespace

QCoro::Task<QList<SubtitleTrack>>
SubtitleReading::read(FFmpegService& service, QList<SubtitleTrack> available, SubtitleChoice choice,
                      QString ffmpegPath, SubtitleTiming timing, SubtitleCanvas canvas,
                      LogCallback onLog, StageControl control) {
    const QList<SubtitleTrack> tracks = chosenSubtitleTracks(available, choice);
    if (tracks.isEmpty() && !available.isEmpty())
        onLog(QStringLiteral("Die %1 Untertitelspuren der Quelle kommen nicht auf die DVD")
                  .arg(available.size()));
    QList<SubtitleTrack> read;
    for (int i = 0; i < tracks.size(); ++i) {
        SubtitleTrack track = tracks[i];
        const QString label = track.label(i + 1);
        if (track.isBitmap()) {
            const std::optional<QList<SubtitleCue>> cues =
                co_await BitmapSubtitleReading::read(service, track, ffmpegPath, canvas, control);
            track.cues = cues ? timedCues(*cues, timing) : QList<SubtitleCue>();
        } else if (!track.isText()) {
            onLog(QStringLiteral("Untertitelspur %1 wird ausgelassen: ihr Format wird nicht "
                                 "unterstützt")
                      .arg(label));
            continue;
        } else {
            const std::optional<QString> text =
                co_await readText(service, track, ffmpegPath, control);
            track.cues = text ? timedCues(parseSubtitles(*text), timing) : QList<SubtitleCue>();
        }
        if (track.cues.isEmpty()) {
            onLog(QStringLiteral("Untertitelspur %1 wird ausgelassen: sie ist nicht lesbar oder "
                                 "leer")
                      .arg(label));
            continue;
        }
        onLog(QStringLiteral("Untertitelspur auf der DVD: %1 (%2 Einblendungen)")
                  .arg(label)
                  .arg(track.cues.size()));
        read.append(track);
    }
    co_return read;
}
