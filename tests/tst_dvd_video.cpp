// Whole discs from generated sources: encode, author (twice), image, and what libdvdread's lsdvd
// reads from the image: titles, chapters, the sound's language, the picture's shape.
#include "MediaChecks.h"
#include "RecordedRun.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace testing;

namespace {

// What lsdvd reports about an image; chapters, languages and aspect of the first title.
struct DiscReport {
    QStringList titles;
    QList<double> chapterStarts; // seconds
    QStringList languages;       // "de - Deutsch"
    QString aspect;
    QByteArray text;
};

DiscReport lsdvd(const QString& image) {
    DiscReport report;
    report.text = runProgram("lsdvd", {"-a", "-c", "-v", image}).output;
    static const QRegularExpression title(R"(^Title: (\d+),)");
    static const QRegularExpression chapter(R"(^\s+Chapter: \d+, Length: (\d+):(\d+):([0-9.]+),)");
    static const QRegularExpression audio(R"(^\s+Audio: \d+, Language: ([^,]+),)");
    static const QRegularExpression aspect(R"(Aspect ratio: ([^,]+),)");
    double start = 0;
    for (const QString& line : QString::fromUtf8(report.text).split('\n')) {
        if (const auto m = title.match(line); m.hasMatch())
            report.titles << m.captured(1);
        if (report.titles.size() != 1)
            continue;
        if (const auto m = chapter.match(line); m.hasMatch()) {
            report.chapterStarts << start;
            start += m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                     m.captured(3).toDouble();
        } else if (const auto m = audio.match(line); m.hasMatch()) {
            report.languages << m.captured(1);
        } else if (const auto m = aspect.match(line); m.hasMatch()) {
            report.aspect = m.captured(1);
        }
    }
    return report;
}

// Encodes, authors and images one source as a run does, with the image named TEST.
RunRequest chain(const QString& source, const QString& mpg) {
    RunRequest request = realToolsRequest(Stage::encode, Stage::image, source, mpg);
    request.volumeName = "TEST";
    return request;
}

} // namespace

class DvdVideoTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FFmpegService m_service;

private slots:
    void rerunGivesOneTitleWithLanguageAndChapters() {
        // 2.39:1 film with German sound and three chapters.
        const QString film = makeClip(
            m_dir, "Film.mkv",
            words("-f lavfi -i testsrc=s=240x100:r=24000/1001:d=10 -f lavfi -i sine=d=10 -i") +
                QStringList{writeChapters(m_dir, {0, 3, 7}, 10)} +
                words("-map 0:v -map 1:a -map_chapters 2 -metadata:s:a:0 language=deu -c:v libx264 "
                      "-preset ultrafast -c:a aac"));
        const QString mpg = m_dir.filePath("Film_PAL_DVD.mpg");
        RecordedRun first(m_service, chain(film, mpg));
        QVERIFY2(first.succeeds(), first.story());
        // Files of the user's own beside the disc's stay.
        const QString folder = m_dir.filePath("Film_PAL_DVD_DVD");
        QFile keep(folder + "/Notizen.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        QVERIFY(QDir(folder).mkdir("Extras"));

        RecordedRun second(m_service, chain(film, mpg));
        QVERIFY2(second.succeeds(), second.story());
        QCOMPARE(second.toolLines.filter("Lösche die DVD-Dateien des letzten Laufs: ").size(), 1);
        QVERIFY(QFile::exists(folder + "/Notizen.txt"));
        QVERIFY(QDir(folder + "/Extras").exists());

        const DiscReport disc = lsdvd(*second.ending().products.iso);
        QCOMPARE(disc.titles, QStringList{"01"});
        QCOMPARE(disc.languages, QStringList{"de - Deutsch"});
        QCOMPARE(disc.aspect, "16/9");
        // The source's marks at 0, 3 and 7 s, sped up from 23.976 to 25 frames per second.
        const double speedUp = 24000.0 / 1001 / 25;
        const QList<double> expected{0, 3 * speedUp, 7 * speedUp};
        QCOMPARE(disc.chapterStarts.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(qAbs(disc.chapterStarts[i] - expected[i]) < 1.0, disc.text);
    }

    void soundWithoutLanguageAndLongSourceWithoutChapters() {
        // Five minutes and five seconds of black: a chapter at 0 and one at 5:00.
        const QString source = makeClip(
            m_dir, "Lang.mkv",
            words("-f lavfi -i color=c=black:s=64x36:r=25:d=305 -f lavfi -i anullsrc=cl=mono "
                  "-t 305 -c:v libx264 -preset ultrafast -c:a aac"));
        RecordedRun run(m_service, chain(source, m_dir.filePath("Lang.mpg")));
        QVERIFY2(run.succeeds(), run.story());
        const DiscReport disc = lsdvd(*run.ending().products.iso);
        QCOMPARE(disc.titles, QStringList{"01"});
        QCOMPARE(disc.languages.size(), 1);
        QVERIFY2(disc.languages[0].startsWith("xx"), disc.text);
        QCOMPARE(disc.chapterStarts.size(), 2);
        QVERIFY2(qAbs(disc.chapterStarts[1] - 300) < 1.0, disc.text);
    }
};

QTEST_GUILESS_MAIN(DvdVideoTest)
#include "tst_dvd_video.moc"
