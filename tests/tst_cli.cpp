// kestrin-cli as scripts use it, without a display: a queue of sources, JSON lines, Ctrl+C, wrong
// calls. isoinfo reads the images.
#include "MediaChecks.h"
#include "TestFiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <csignal>

using namespace testing;

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;

    // With settings of its own (the tools where Debian puts them) and nothing of a display.
    void start(QProcess& cli, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(KESTRIN_CLI), arguments);
    }
    ProgramRun run(const QStringList& arguments) {
        QProcess cli;
        start(cli, arguments);
        if (!cli.waitForFinished(300000) || cli.exitStatus() != QProcess::NormalExit)
            return {};
        return {cli.exitCode(), cli.readAllStandardOutput(),
                QString::fromUtf8(cli.readAllStandardError())};
    }
    QString folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase() {
        m_clip = makeClip(m_dir, "Klein.mkv",
                          words("-f lavfi -i testsrc2=s=160x90:r=25:d=20 -f lavfi -i sine=d=20 "
                                "-c:v libx264 -preset ultrafast -c:a aac"));
    }

    // Two good sources with a text file and a missing one between them, one JSON object a line:
    // the missing one is named before any tool runs, the bad one is named and the next one still
    // runs; the last line is the last source's ending.
    void queueGoesOnPastBadSources() {
        const QString out = folder("queue");
        const QString text = writeScript(m_dir, "Text.mkv", "kein Video");
        const QString second = m_dir.filePath("Zweiter.mkv");
        QFile::copy(m_clip, second);
        const ProgramRun cli = run({"--json", "--output", out, "--name", "Ferien", m_clip, text,
                                    m_dir.filePath("Fehlt.mkv"), second});
        QCOMPARE(cli.exitCode, 1);
        QList<QJsonObject> events;
        for (const QByteArray& line : cli.output.trimmed().split('\n')) {
            QJsonParseError error;
            events << QJsonDocument::fromJson(line, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        }
        QCOMPARE(events.first()["message"],
                 "Fehler ❌ Quelldatei nicht gefunden: " + m_dir.filePath("Fehlt.mkv"));
        QList<QJsonObject> endings;
        std::copy_if(events.begin(), events.end(), std::back_inserter(endings),
                     [](const QJsonObject& event) { return event["event"] == "ending"; });
        QCOMPARE(endings.size(), 4);
        QCOMPARE(endings[2]["source"], text);
        QVERIFY2(endings[2]["message"].toString().startsWith("Fehler ❌ ffprobe"),
                 qPrintable(endings[2]["message"].toString()));
        QCOMPARE(events.last(), endings[3]);
        for (const QJsonObject& ending : {endings[1], endings[3]}) {
            QCOMPARE(ending["outcome"], "succeeded");
            const QString iso = ending["products"]["iso"].toString();
            QCOMPARE(QFileInfo(iso).absolutePath(), out);
            QVERIFY(runOrFail("isoinfo", {"-d", "-i", iso}).contains("Volume id: FERIEN"));
        }
    }

    // Ctrl+C during an encode with burn-in: the run is cancelled, no tool and nothing new is left.
    void endedByInterrupt() {
        folder("interrupted");
        const QString source = makeClip(
            m_dir, "interrupted/Lang.mkv",
            words("-f lavfi -i testsrc2=s=160x90:r=25:d=300 -c:v libx264 -preset ultrafast"));
        writeScript(m_dir, "interrupted/Lang.srt", "1\n00:00:01,000 --> 00:00:09,000\nA");
        QProcess cli;
        start(cli, {"--json", "--until", "mpg", "--burn-in", "1", source});
        QByteArray output;
        QVERIFY(QTest::qWaitFor(
            [&] { return (output += cli.readAllStandardOutput()).contains("\"progress\""); },
            30000));
        const QList<qint64> tools = childProcesses(cli.processId());
        QVERIFY(!tools.isEmpty());
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(std::none_of(tools.begin(), tools.end(), processExists));
        QCOMPARE(QDir(QFileInfo(source).path()).entryList(QDir::AllEntries | QDir::Hidden),
                 QStringList({".", "..", "Lang.mkv", "Lang.srt"}));
    }

    void wrongCalls_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no source") << QStringList{"--until", "iso"};
        QTest::newRow("unknown option") << QStringList{"--fast", "a.mkv"};
        QTest::newRow("bad stage") << QStringList{"--until", "dvd", "a.mkv"};
        QTest::newRow("bad subtitle track") << QStringList{"--subtitles", "0", "a.mkv"};
        QTest::newRow("bad burn-in track") << QStringList{"--burn-in", "x", "a.mkv"};
    }
    void wrongCalls() {
        QFETCH(QStringList, arguments);
        const ProgramRun cli = run(arguments);
        QCOMPARE(cli.exitCode, 2);
        QVERIFY2(cli.errorOutput.contains("kestrin-cli --help"), qPrintable(cli.errorOutput));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
