// Whole discs from generated sources: encode, author (twice), image, and what libdvdread's lsdvd
// reads from the image: titles, chapters, the sound's language, the picture's shape.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace testing;

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString dvdauthor = QStringLiteral("/usr/bin/dvdauthor");

// What lsdvd reports about an image.
struct DiscReport {
    QStringList titles;
    QList<double> chapterStarts; // of the first title, seconds
    QStringList languages;       // "de - Deutsch"
    QString aspect;
    QString text;
};

double clockSeconds(const QString& text) {
    const QStringList parts = text.split(':');
    return parts.size() == 3
               ? parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble()
               : -1;
}

DiscReport lsdvd(const QString& image) {
    DiscReport report;
    report.text = QString::fromUtf8(runProgram("lsdvd", {"-a", "-c", "-v", image}).output);
    double start = 0;
    bool firstTitle = false;
    for (const QString& line : report.text.split('\n')) {
        static const QRegularExpression title(R"(^Title: (\d+),)");
        static const QRegularExpression chapter(R"(^\s+Chapter: \d+, Length: ([0-9:.]+),)");
        static const QRegularExpression audio(R"(^\s+Audio: \d+, Language: ([^,]+),)");
        static const QRegularExpression aspect(R"(Aspect ratio: ([^,]+),)");
        if (const auto m = title.match(line); m.hasMatch()) {
            report.titles << m.captured(1);
            firstTitle = report.titles.size() == 1;
        } else if (const auto m = chapter.match(line); m.hasMatch() && firstTitle) {
            report.chapterStarts << start;
            start += clockSeconds(m.captured(1));
        } else if (const auto m = audio.match(line); m.hasMatch() && firstTitle) {
            report.languages << m.captured(1);
        } else if (const auto m = aspect.match(line); m.hasMatch() && firstTitle) {
            report.aspect = m.captured(1);
        }
    }
    return report;
}

struct Chain {
    QStringList log;
    std::optional<FFmpegError> error;
    QString iso;
};

// Encode, author and image one source the way the window's chain does.
Chain runChain(const QString& source, const QString& mpg, EncodeSettings settings = {}) {
    FFmpegService service;
    Chain chain;
    const auto onLog = [&](const QString& line) { chain.log << line; };
    const Outcome<DiscTitle> encoded = await(service.convert(
        source, mpg, ffmpeg, settings, [](double) {}, onLog, onLog));
    if (!encoded.value) {
        chain.error = encoded.error;
        return chain;
    }
    const Outcome<QString> authored =
        await(service.createVideoTS(mpg, dvdauthor, onLog, *encoded.value));
    if (!authored.value) {
        chain.error = authored.error;
        return chain;
    }
    const QString folder = *authored.value;
    chain.iso = folder + ".iso";
    const ProgramRun image =
        runProgram(KESTRIN_HDIUTIL, {"makehybrid", "-udf", "-iso", "-joliet",
                                     "-default-volume-name", "TEST", "-o", folder, folder});
    if (image.exitCode != 0)
        chain.log << "image failed: " + image.errorOutput;
    return chain;
}

} // namespace

class DvdVideoTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_film;

private slots:
    void initTestCase() {
        QFile chapters(m_dir.filePath("chapters.txt"));
        QVERIFY(chapters.open(QIODevice::WriteOnly));
        chapters.write(";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=7000\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=7000\nEND=10000\n");
        chapters.close();
        // 2.39:1 film with German sound and three chapters.
        m_film = makeClip(m_dir, "Film.mkv",
                          {"-f",
                           "lavfi",
                           "-i",
                           "testsrc=s=240x100:r=24000/1001:d=10",
                           "-f",
                           "lavfi",
                           "-i",
                           "sine=d=10",
                           "-i",
                           chapters.fileName(),
                           "-map",
                           "0:v",
                           "-map",
                           "1:a",
                           "-map_chapters",
                           "2",
                           "-metadata:s:a:0",
                           "language=deu",
                           "-c:v",
                           "libx264",
                           "-preset",
                           "ultrafast",
                           "-c:a",
                           "aac"});
    }

    void rerunGivesOneTitleWithLanguageAndChapters() {
        const QString mpg = m_dir.filePath("Film_PAL_DVD.mpg");
        const Chain first = runChain(m_film, mpg);
        QVERIFY2(!first.error, qPrintable(first.error ? first.error->description() : ""));
        const QString folder = m_dir.filePath("Film_PAL_DVD_DVD");
        QFile keep(folder + "/Notizen.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        QVERIFY(QDir(folder).mkdir("Extras"));

        const Chain second = runChain(m_film, mpg);
        QVERIFY2(!second.error, qPrintable(second.error ? second.error->description() : ""));
        QCOMPARE(second.log.filter("Lösche die DVD-Dateien des letzten Laufs: ").size(), 1);
        QVERIFY(QFile::exists(folder + "/Notizen.txt"));
        QVERIFY(QDir(folder + "/Extras").exists());

        const DiscReport disc = lsdvd(second.iso);
        QCOMPARE(disc.titles, QStringList{"01"});
        QCOMPARE(disc.languages, QStringList{"de - Deutsch"});
        QCOMPARE(disc.aspect, "16/9");
        // The source's marks at 0, 3 and 7 s, sped up from 23.976 to 25 frames per second.
        const double speedUp = 24000.0 / 1001 / 25;
        const QList<double> expected{0, 3 * speedUp, 7 * speedUp};
        QCOMPARE(disc.chapterStarts.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(qAbs(disc.chapterStarts[i] - expected[i]) < 1.0, qPrintable(disc.text));
    }

    void soundWithoutLanguageAndLongSourceWithoutChapters() {
        // Five minutes and five seconds of black: a chapter at 0 and one at 5:00.
        const QString source =
            makeClip(m_dir, "Lang.mkv",
                     {"-f", "lavfi", "-i", "color=c=black:s=64x36:r=25:d=305", "-f", "lavfi", "-i",
                      "anullsrc=r=48000:cl=mono", "-t", "305", "-c:v", "libx264", "-preset",
                      "ultrafast", "-c:a", "aac"});
        const Chain chain = runChain(source, m_dir.filePath("Lang.mpg"));
        QVERIFY2(!chain.error, qPrintable(chain.error ? chain.error->description() : ""));
        const DiscReport disc = lsdvd(chain.iso);
        QCOMPARE(disc.titles, QStringList{"01"});
        QCOMPARE(disc.languages.size(), 1);
        QVERIFY2(disc.languages[0].startsWith("xx"), qPrintable(disc.text));
        QCOMPARE(disc.chapterStarts.size(), 2);
        QVERIFY2(qAbs(disc.chapterStarts[1] - 300) < 1.0, qPrintable(disc.text));
    }
};

QTEST_GUILESS_MAIN(DvdVideoTest)
#include "tst_dvd_video.moc"
