#include "SubtitleBurnIn.h"

#include "SubtitleReading.h"

#include <QDir>
#include <QFile>
#include <QPainter>

namespace {

void save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG"))
        throw FFmpegError::fileFailed(path,
                                      QStringLiteral("Datei konnte nicht geschrieben werden"));
}

} // namespace

QString overlayList(const QList<SubtitleCue>& cues) {
    QString list = QStringLiteral("ffconcat version 1.0\n");
    double shown = 0;
    for (qsizetype i = 0; i < cues.size(); ++i) {
        if (cues[i].start > shown)
            list += QString::asprintf("file blank.png\nduration %.6f\n", cues[i].start - shown);
        list += QString::asprintf("file %lld.png\nduration %.6f\n", qlonglong(i),
                                  cues[i].end - cues[i].start);
        shown = cues[i].end;
    }
    // The last duration counts only with a file after it.
    return list + QStringLiteral("file blank.png\n");
}

QCoro::Task<std::optional<QString>> SubtitleBurnIn::draw(FFmpegService& service,
                                                         QList<SubtitleTrack> available, int burnt,
                                                         QString ffmpegPath, SubtitleTiming timing,
                                                         SubtitleCanvas canvas, QString folder,
                                                         LogCallback onLog, StageControl control) {
    if (burnt < 0 || burnt >= available.size()) {
        onLog(QStringLiteral("Untertitel werden nicht eingebrannt: die Quelle hat keine "
                             "Untertitelspur %1")
                  .arg(burnt + 1));
        co_return std::nullopt;
    }
    const QString label = available[burnt].label(burnt + 1);
    // Its lines speak of the disc; the track's fate is told below.
    const QList<SubtitleTrack> read = co_await SubtitleReading::read(
        service, available, {SubtitleChoice::Tracks::one, burnt, {}}, ffmpegPath, timing, canvas,
        [](const QString&) {}, control);
    if (read.isEmpty()) {
        onLog(QStringLiteral("Untertitel werden nicht eingebrannt: Spur %1 ist nicht lesbar oder "
                             "leer")
                  .arg(label));
        co_return std::nullopt;
    }
    // Every cue: a track marked forced is forced as a whole.
    const QDir pictures(folder);
    QImage frame(720, 576, QImage::Format_ARGB32);
    frame.fill(Qt::transparent);
    save(frame, pictures.filePath(QStringLiteral("blank.png")));
    QList<SubtitleCue> drawn;
    for (const SubtitleCue& cue : read.constFirst().cues) {
        const SubtitlePicture picture = renderCue(cue, canvas);
        if (picture.image.isNull())
            continue;
        frame.fill(Qt::transparent);
        QPainter(&frame).drawImage(picture.x, picture.y, picture.image);
        save(frame, pictures.filePath(QStringLiteral("%1.png").arg(drawn.size())));
        drawn.append(cue);
    }
    const QString list = pictures.filePath(QStringLiteral("bilder.ffconcat"));
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly) || file.write(overlayList(drawn).toUtf8()) < 0)
        throw FFmpegError::fileFailed(list,
                                      QStringLiteral("Datei konnte nicht geschrieben werden"));
    onLog(QStringLiteral("Untertitel werden eingebrannt: %1 (%2 Einblendungen)")
              .arg(label)
              .arg(drawn.size()));
    co_return list;
}
