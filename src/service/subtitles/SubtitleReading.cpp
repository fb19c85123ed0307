#include "SubtitleReading.h"

#include "SubtitleParser.h"
#include "SubtitleText.h"

#include <QFile>
#include <QFileInfo>

QCoro::Task<QList<SubtitleTrack>> SubtitleReading::read(FFmpegService& service,
                                                        QList<SubtitleTrack> available,
                                                        SubtitleChoice choice, QString ffmpegPath,
                                                        SubtitleTiming timing, LogCallback onLog,
                                                        StageControl control) {
    const QList<SubtitleTrack> tracks = chosenSubtitleTracks(available, choice);
    if (tracks.isEmpty() && !available.isEmpty())
        onLog(QStringLiteral("Die %1 Untertitelspuren der Quelle kommen nicht auf die DVD")
                  .arg(available.size()));
    QList<SubtitleTrack> read;
    for (int i = 0; i < tracks.size(); ++i) {
        SubtitleTrack track = tracks[i];
        const QString label = track.label(i + 1);
        std::optional<QString> text;
        if (!track.isText()) {
            onLog(QStringLiteral("Untertitelspur %1 wird ausgelassen: Bilduntertitel werden nicht "
                                 "übernommen")
                      .arg(label));
            continue;
        }
        if (track.streamIndex) {
            const QStringList arguments{
                QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                QStringLiteral("-i"),
                // A name that starts with a dash is no option.
                QFileInfo(track.path).absoluteFilePath(), QStringLiteral("-map"),
                QStringLiteral("0:%1").arg(*track.streamIndex), QStringLiteral("-c:s"),
                QStringLiteral("srt"), QStringLiteral("-f"), QStringLiteral("srt"),
                QStringLiteral("-")};
            const ToolResult result =
                co_await service.runTool(ffmpegPath, arguments, std::nullopt, control);
            if (result.status == 0 && !result.killedBySignal)
                text = result.output;
        } else {
            QFile file(track.path);
            if (file.open(QIODevice::ReadOnly))
                text = decodeSubtitleText(file.readAll());
        }
        track.cues = text ? timedCues(parseSubtitles(*text), timing) : QList<SubtitleCue>();
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
