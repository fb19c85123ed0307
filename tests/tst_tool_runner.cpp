// The two tool runners against small fake tools: lines, exit statuses, launch failures,
// environment, draining, pause, resume and cancellation.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

using namespace testing;

namespace {

// The lines a streaming run reported, and how it ended.
struct StreamingRun {
    QStringList lines;
    Outcome<void> outcome;
};

StreamingRun stream(FFmpegService& service, const QString& tool) {
    StreamingRun run;
    run.outcome =
        await(service.runToolStreaming(tool, {}, [&](const QString& line) { run.lines << line; }));
    return run;
}

std::shared_ptr<Outcome<void>> startStreaming(FFmpegService& service, const QString& tool,
                                              StageControl control, QStringList* log = nullptr) {
    return start(service.runToolStreaming(
        tool, {},
        [log](const QString& line) {
            if (log)
                *log << line;
        },
        control));
}

// The one tool this test program runs, once it runs; 0 if none came.
qint64 runningTool() {
    qint64 pid = 0;
    const bool started = QTest::qWaitFor([&] {
        const QList<qint64> children = childProcesses(QCoreApplication::applicationPid());
        pid = children.size() == 1 ? children.first() : 0;
        return pid != 0;
    });
    return started ? pid : 0;
}

// A stopped shell that was starting a command when it stopped waits for its stopped child in 'D'.
bool stopped(qint64 pid) {
    const QList<qint64> children = childProcesses(pid);
    return processState(pid) == 'T' ||
           (processState(pid) == 'D' && !children.isEmpty() &&
            std::all_of(children.begin(), children.end(),
                        [](qint64 child) { return processState(child) == 'T'; }));
}

} // namespace

class ToolRunnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString script(const QString& name, const QString& body) {
        return writeScript(m_dir, name, body);
    }

private slots:
    void streamingSplitsLines() {
        FFmpegService service;
        const QString tool = script("lines.sh", R"(printf 'A\r\ngr\374\337e\n' >&2
printf 'frame=1 time=00:00:01.00 x\rframe=2 time=00:00:02.00 x\r' >&2
echo 'standard output is not read'
printf 'last words' >&2)");
        const StreamingRun run = stream(service, tool);
        QVERIFY2(run.outcome.succeeded(), run.outcome.story());
        QCOMPARE(run.lines,
                 (QStringList{"A", QStringLiteral("gr\ufffd\ufffde"), "frame=1 time=00:00:01.00 x",
                              "frame=2 time=00:00:02.00 x", "last words"}));
    }

    // Both runners fail with the exit status and the reason the tool gave: its last line, or
    // the signal that ended it.
    void failuresKeepTheReason_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("exit status")
            << "printf 'working\\n/out/x.mpg: Permission denied' >&2\nexit 3" << 3
            << "/out/x.mpg: Permission denied";
        QTest::newRow("killed") << "echo 'frame=1 time=00:00:01.00' >&2\nkill -KILL $$"
                                << int(SIGKILL) << "beendet durch Signal 9 (SIGKILL)";
    }
    void failuresKeepTheReason() {
        QFETCH(QString, body);
        QFETCH(int, code);
        QFETCH(QString, reason);
        FFmpegService service;
        const QString tool = script("fails.sh", body);
        const StreamingRun streamed = stream(service, tool);
        QVERIFY2(streamed.outcome.error, streamed.outcome.story());
        QCOMPARE(streamed.outcome.error->description(),
                 QStringLiteral("Vorgang fehlgeschlagen (Exit Code %1).").arg(code));
        QCOMPARE(streamed.outcome.error->toolReason(), reason);

        const Outcome<ToolResult> collected = await(service.runTool(tool, {}));
        QVERIFY2(collected.value, collected.story());
        QCOMPARE(collected.value->status, code);
        QCOMPARE(collected.value->failureReason(), reason);
    }

    void launchFailuresSayWhy_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QDir(m_dir.path()).mkpath("a directory");
        QFile plain(m_dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("not a program") > 0);
        QTest::newRow("missing") << m_dir.filePath("nowhere") << "Datei nicht gefunden";
        QTest::newRow("directory") << m_dir.filePath("a directory") << "das ist ein Ordner";
        QTest::newRow("not executable") << plain.fileName() << "keine Berechtigung zum Ausführen";
        QFile bad(script("bad.sh", ""));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("#!/nonexistent/interpreter\n") > 0);
        QTest::newRow("bad interpreter")
            << bad.fileName() << "kein lauffähiges Programm oder sein Interpreter fehlt";
    }
    void launchFailuresSayWhy() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        FFmpegService service;
        const QString description =
            QStringLiteral("Programm konnte nicht gestartet werden: %1 (%2)").arg(path, reason);
        const Outcome<void> streamed =
            await(service.runToolStreaming(path, {}, [](const QString&) {}));
        QVERIFY2(streamed.error, streamed.story());
        QCOMPARE(streamed.error->description(), description);
        const Outcome<ToolResult> collected = await(service.runTool(path, {}));
        QVERIFY2(collected.error, collected.story());
        QCOMPARE(collected.error->kind(), FFmpegError::Kind::LaunchFailed);
        QCOMPARE(collected.error->description(), description);
    }

    // Arguments arrive unchanged; both streams come back whole, also far more than a pipe holds
    // before the tool exits, with malformed UTF-8 replaced.
    void runToolReturnsEverythingAndAnyStatus() {
        FFmpegService service;
        const QStringList arguments{"-leading dash", "with space", "quote\"'", "Ümlaut",
                                    "new\nline",     "$HOME",      "*"};
        const Outcome<ToolResult> result =
            await(service.runTool(script("both.sh", R"(head -c 3000000 /dev/zero | tr '\0' o
head -c 3000000 /dev/zero | tr '\0' e >&2
for a in "$@"; do printf '%s\0' "$a"; done; printf 'gr\374\n' >&2; exit 4)"),
                                  arguments));
        QVERIFY2(result.value, result.story());
        QCOMPARE(result.value->status, 4);
        QCOMPARE(result.value->output.left(3000000), QString(3000000, 'o'));
        QCOMPARE(result.value->output.mid(3000000).split(QChar(0), Qt::SkipEmptyParts), arguments);
        QCOMPARE(result.value->errorOutput, QString(3000000, 'e') + QStringLiteral("gr\ufffd\n"));
    }

    // The tool's environment is ours, with the given entries put over it.
    void runToolEnvironment() {
        qputenv("VIDEO_FORMAT", "NTSC");
        FFmpegService service;
        const Outcome<ToolResult> result =
            await(service.runTool("/usr/bin/env", {}, Environment{{"VIDEO_FORMAT", "PAL"}}));
        qunsetenv("VIDEO_FORMAT");
        QVERIFY2(result.value, result.story());
        QStringList lines = result.value->output.split('\n', Qt::SkipEmptyParts);
        QStringList expected = QProcessEnvironment::systemEnvironment().toStringList();
        expected << "VIDEO_FORMAT=PAL";
        lines.sort();
        expected.sort();
        QCOMPARE(lines, expected);
    }

    // Pause and resume reach the tool and whatever it started itself.
    void suspendAndResumeReachTheWholeTool() {
        QStringList log; // outlives the service, which may still report lines as it ends
        FFmpegService service;
        const QString tool = script("ticker.sh", R"(sleep 60 &
echo "helper $!" >&2
i=0
while [ $i -lt 40 ]; do echo "tick $i" >&2; i=$((i+1)); sleep 0.05; done
kill $!)");
        StageControl control;
        const auto outcome = startStreaming(service, tool, control, &log);
        QTRY_VERIFY(!log.isEmpty());
        const qint64 pid = runningTool();
        const qint64 helper = log.first().section(' ', 1).toLongLong();
        QVERIFY(childProcesses(pid).contains(helper));

        control.suspend();
        QTRY_VERIFY(stopped(pid));
        QTRY_COMPARE(processState(helper), 'T');
        QTest::qWait(100);
        const qsizetype whilePaused = log.size();
        QTest::qWait(400);
        QCOMPARE(log.size(), whilePaused);

        control.resume();
        QTRY_VERIFY(processState(helper) != 'T');
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 20000);
        QVERIFY2(outcome->succeeded(), outcome->story());
        QCOMPARE(log.size(), 41);
    }

    // Between two tools of a paused stage the next one does not run ahead.
    void aToolStartedWhileSuspendedStartsSuspended() {
        FFmpegService service;
        StageControl control;
        control.suspend();
        const auto outcome = start(
            service.runTool(script("quick.sh", "sleep 0.3\necho done"), {}, std::nullopt, control));
        const qint64 pid = runningTool();
        QTRY_VERIFY(stopped(pid));
        QTest::qWait(600);
        QVERIFY(!outcome->done);
        control.resume();
        QTRY_VERIFY(outcome->done);
        QVERIFY2(outcome->succeeded(), outcome->story());
        QCOMPARE(outcome->value->output, "done\n");
    }

    // Cancelling continues a suspended tool before it asks it to end, so that the tool can end
    // cleanly; one that ignores the request is killed after a grace period.
    void cancellationEndsEvenASuspendedTool_data() {
        QTest::addColumn<bool>("streaming");
        QTest::addColumn<bool>("suspended");
        QTest::addColumn<bool>("ignoresTerm");
        QTest::newRow("streaming") << true << false << false;
        QTest::newRow("streaming, suspended") << true << true << false;
        QTest::newRow("runTool, suspended") << false << true << false;
        QTest::newRow("streaming, ignores SIGTERM") << true << false << true;
    }
    void cancellationEndsEvenASuspendedTool() {
        QFETCH(bool, streaming);
        QFETCH(bool, suspended);
        QFETCH(bool, ignoresTerm);
        FFmpegService service;
        const QString ended = m_dir.filePath("ended cleanly");
        const QString trapped = m_dir.filePath("trap set");
        QFile::remove(ended);
        QFile::remove(trapped);
        const QString tool =
            script("endless.sh",
                   QStringLiteral(
                       "trap %1 TERM\ntouch \"%2\"\nwhile true; do echo busy >&2; sleep 0.05; done")
                       .arg(ignoresTerm ? "''" : "'touch \"" + ended + "\"; exit 0'", trapped));
        StageControl control;
        const auto outcome = streaming ? startStreaming(service, tool, control)
                                       : start([](FFmpegService& service, QString tool,
                                                  StageControl control) -> QCoro::Task<> {
                                             co_await service.runTool(tool, {}, {}, control);
                                         }(service, tool, control));
        const qint64 pid = runningTool();
        QTRY_VERIFY(QFile::exists(trapped)); // a request to end before the trap would kill it
        if (suspended) {
            control.suspend();
            QTRY_VERIFY(stopped(pid));
        }
        control.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 10000);
        QVERIFY2(outcome->error && outcome->error->isCancellation(), outcome->story());
        QVERIFY(!processExists(pid));
        QCOMPARE(QFile::exists(ended), !ignoresTerm);
    }

    // A window closed while its tool is paused, or while the tool is being ended: the tool goes
    // at once, and the run's grace period runs out harmlessly.
    void destroyingTheServiceEndsItsTool_data() {
        QTest::addColumn<bool>("whileEnding");
        QTest::newRow("paused") << false;
        QTest::newRow("while ending") << true;
    }
    void destroyingTheServiceEndsItsTool() {
        QFETCH(bool, whileEnding);
        auto service = std::make_unique<FFmpegService>();
        StageControl control;
        const QString trapped = m_dir.filePath("stubborn trap set");
        QFile::remove(trapped);
        const auto outcome = startStreaming(
            *service,
            script("stubborn.sh", whileEnding ? "trap '' TERM\ntouch \"" + trapped +
                                                    "\"\nwhile true; do sleep 0.05; done"
                                              : QStringLiteral("exec sleep 60")),
            control);
        const qint64 pid = runningTool();
        QVERIFY(pid);
        if (whileEnding) {
            QTRY_VERIFY(QFile::exists(trapped));
            control.cancel();
            QTest::qWait(200); // the tool ignores the request to end
        } else {
            control.suspend();
            QTRY_VERIFY(stopped(pid));
        }
        service.reset();
        QVERIFY(!processExists(pid));
        QTest::qWait(whileEnding ? 3500 : 50); // past the grace period of an ending
        QVERIFY(!outcome->done);
    }
};

QTEST_GUILESS_MAIN(ToolRunnerTest)
#include "tst_tool_runner.moc"
