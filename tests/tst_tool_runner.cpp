// The two tool runners against small fake tools: line splitting, exit statuses, launch failures,
// environment, draining, pause, resume and cancellation.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>
#include <memory>

using namespace testing;

namespace {

struct Recorded {
    QStringList log;
    QList<double> progress;
    QStringList events; // log and progress calls in the order they came
};

// Runs runToolStreaming to its end and returns what it reported, and how it ended.
struct StreamingRun {
    Recorded recorded;
    Outcome<void> outcome;
};

StreamingRun stream(FFmpegService& service, const QString& tool,
                    std::optional<double> duration = {}) {
    StreamingRun run;
    run.outcome = await(service.runToolStreaming(
        tool, {}, duration,
        [&](double f) {
            run.recorded.progress << f;
            run.recorded.events << QStringLiteral("progress %1").arg(f);
        },
        [&](const QString& line) {
            run.recorded.log << line;
            run.recorded.events << QStringLiteral("log ") + line;
        }));
    return run;
}

// The one tool this test program runs at the moment.
qint64 runningTool() {
    const QList<qint64> children = childProcesses(QCoreApplication::applicationPid());
    return children.size() == 1 ? children.first() : 0;
}

} // namespace

class ToolRunnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString script(const QString& name, const QString& body) {
        return writeScript(m_dir, name, body);
    }

private slots:
    void streamingSplitsLinesAndParsesProgress() {
        FFmpegService service;
        const QString tool = script("lines.sh", R"(printf 'A\r\nB\n' >&2
printf 'frame=1 time=00:00:01.00 x\rframe=2 time=00:00:02.00 x\r' >&2
echo 'standard output is not read'
printf 'last words' >&2)");
        const StreamingRun run = stream(service, tool, 4.0);
        QVERIFY2(run.outcome.succeeded(), run.outcome.story());
        QCOMPARE(run.recorded.events,
                 (QStringList{"log A", "log B", "log frame=1 time=00:00:01.00 x", "progress 0.25",
                              "log frame=2 time=00:00:02.00 x", "progress 0.5", "log last words"}));
    }

    void streamingWithoutDurationOrOutput() {
        FFmpegService service;
        QVERIFY(stream(service, script("silent.sh", "exit 0")).recorded.events.isEmpty());
        const StreamingRun noDuration =
            stream(service, script("progress.sh", R"(printf 'time=00:00:01.00\n' >&2)"), 0.0);
        QCOMPARE(noDuration.recorded.log, QStringList{"time=00:00:01.00"});
        QVERIFY(noDuration.recorded.progress.isEmpty());
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
        QTest::newRow("terminated")
            << "kill -TERM $$" << int(SIGTERM) << "beendet durch Signal 15 (SIGTERM)";
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

    void malformedUtf8IsReplaced() {
        FFmpegService service;
        const QString tool = script("bytes.sh", R"(printf 'gr\374\337e\n' >&2; printf 'ok\377' )");
        QCOMPARE(stream(service, tool).recorded.log,
                 QStringList{QStringLiteral("gr\ufffd\ufffde")});
        const Outcome<ToolResult> result = await(service.runTool(tool, {}));
        QVERIFY2(result.value, result.story());
        QCOMPARE(result.value->output, QStringLiteral("ok\ufffd"));
    }

    void launchFailuresSayWhy_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QDir(m_dir.path()).mkpath("a directory");
        QFile plain(m_dir.filePath("plain.txt"));
        plain.open(QIODevice::WriteOnly);
        plain.write("not a program");
        plain.close();
        QTest::newRow("missing") << m_dir.filePath("nowhere") << "Datei nicht gefunden";
        QTest::newRow("directory") << m_dir.filePath("a directory") << "das ist ein Ordner";
        QTest::newRow("not executable")
            << m_dir.filePath("plain.txt") << "keine Berechtigung zum Ausführen";
        QFile badInterpreter(m_dir.filePath("bad.sh"));
        badInterpreter.open(QIODevice::WriteOnly);
        badInterpreter.write("#!/nonexistent/interpreter\n");
        badInterpreter.setPermissions(badInterpreter.permissions() | QFile::ExeOwner);
        badInterpreter.close();
        QTest::newRow("bad interpreter")
            << m_dir.filePath("bad.sh") << "kein lauffähiges Programm oder sein Interpreter fehlt";
    }
    void launchFailuresSayWhy() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        FFmpegService service;
        const QString description =
            QStringLiteral("Programm konnte nicht gestartet werden: %1 (%2)").arg(path, reason);
        const Outcome<void> streamed = await(service.runToolStreaming(
            path, {}, {}, [](double) {}, [](const QString&) {}));
        QVERIFY2(streamed.error, streamed.story());
        QCOMPARE(streamed.error->description(), description);
        const Outcome<ToolResult> collected = await(service.runTool(path, {}));
        QVERIFY2(collected.error, collected.story());
        QCOMPARE(collected.error->kind(), FFmpegError::Kind::LaunchFailed);
        QCOMPARE(collected.error->description(), description);
    }

    void runToolReturnsEverythingAndAnyStatus() {
        FFmpegService service;
        const Outcome<ToolResult> result = await(service.runTool(
            script("both.sh", R"(printf 'out 1\nout 2\n'; printf 'err\n' >&2; exit 4)"), {"x"}));
        QVERIFY2(result.value, result.story());
        QCOMPARE(result.value->status, 4);
        QCOMPARE(result.value->output, "out 1\nout 2\n");
        QCOMPARE(result.value->errorOutput, "err\n");
    }

    void runToolPassesArgumentsUnchanged() {
        FFmpegService service;
        const QStringList arguments{"-leading dash", "with space", "quote\"'", "Ümlaut",
                                    "new\nline",     "$HOME",      "*"};
        const Outcome<ToolResult> result = await(service.runTool(
            script("args.sh", R"(for a in "$@"; do printf '%s\0' "$a"; done)"), arguments));
        QVERIFY2(result.value, result.story());
        QCOMPARE(result.value->output.split(QChar(0), Qt::SkipEmptyParts), arguments);
    }

    void runToolDrainsLargeOutput() {
        FFmpegService service;
        // Far more than a pipe holds, on both streams, before the tool exits.
        const Outcome<ToolResult> result =
            await(service.runTool(script("flood.sh", "head -c 3000000 /dev/zero | tr '\\0' o\n"
                                                     "head -c 3000000 /dev/zero | tr '\\0' e >&2"),
                                  {}));
        QVERIFY2(result.value, result.story());
        QCOMPARE(result.value->status, 0);
        QCOMPARE(result.value->output.size(), 3000000);
        QCOMPARE(result.value->errorOutput.size(), 3000000);
    }

    void runToolEnvironment() {
        qputenv("VIDEO_FORMAT", "NTSC");
        FFmpegService service;
        const auto childEnvironment = [&](std::optional<Environment> environment) {
            const Outcome<ToolResult> result =
                await(service.runTool("/usr/bin/env", {}, environment));
            QStringList lines =
                result.value ? result.value->output.split('\n', Qt::SkipEmptyParts) : QStringList();
            lines.sort();
            return lines;
        };
        QStringList inherited = QProcessEnvironment::systemEnvironment().toStringList();
        inherited.sort();
        QCOMPARE(childEnvironment(std::nullopt), inherited);
        QCOMPARE(childEnvironment(Environment{}), inherited);

        const QStringList pal = childEnvironment(Environment{{"VIDEO_FORMAT", "PAL"}});
        QVERIFY(pal.contains("VIDEO_FORMAT=PAL"));
        QVERIFY(!pal.contains("VIDEO_FORMAT=NTSC"));
        QCOMPARE(pal.size(), inherited.size());
        qunsetenv("VIDEO_FORMAT");
    }

    // Pause and resume reach the tool and whatever it started itself.
    void suspendAndResumeReachTheWholeTool() {
        FFmpegService service;
        const QString tool = script("ticker.sh", R"(sleep 60 &
i=0
while [ $i -lt 30 ]; do echo "tick $i" >&2; i=$((i+1)); sleep 0.05; done
kill $!)");
        StageControl control;
        Recorded recorded;
        const auto outcome = start(service.runToolStreaming(
            tool, {}, {}, [](double) {}, [&](const QString& l) { recorded.log << l; }, control));
        QTRY_VERIFY(recorded.log.size() >= 3);
        const qint64 pid = runningTool();
        QTRY_COMPARE(childProcesses(pid).size(), 2); // the background sleep and a tick's sleep
        const qint64 helper = childProcesses(pid).first();

        control.suspend();
        QTRY_COMPARE(processState(pid), 'T');
        QTRY_COMPARE(processState(helper), 'T');
        QTest::qWait(100);
        const qsizetype whilePaused = recorded.log.size();
        QTest::qWait(400);
        QCOMPARE(recorded.log.size(), whilePaused);

        control.resume();
        QTRY_VERIFY(processState(helper) != 'T');
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 20000);
        QVERIFY2(outcome->succeeded(), outcome->story());
        QCOMPARE(recorded.log.size(), 30);
        QCOMPARE(recorded.log.last(), "tick 29");
    }

    // Between two tools of a paused stage the next one does not run ahead.
    void aToolStartedWhileSuspendedStartsSuspended() {
        FFmpegService service;
        StageControl control;
        control.suspend();
        const auto outcome = start(
            service.runTool(script("quick.sh", "sleep 0.3\necho done"), {}, std::nullopt, control));
        QTRY_VERIFY(runningTool() != 0);
        const qint64 pid = runningTool();
        QTRY_COMPARE(processState(pid), 'T');
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
        QFile::remove(ended);
        const QString tool = script(
            "endless.sh",
            QStringLiteral("trap %1 TERM\nwhile true; do echo busy >&2; sleep 0.05; done")
                .arg(ignoresTerm ? "''" : "'touch \"" + ended + "\"; exit 0'"));
        StageControl control;
        const auto outcome =
            streaming ? start(service.runToolStreaming(
                            tool, {}, {}, [](double) {}, [](const QString&) {}, control))
                      : start([](FFmpegService& service, QString tool,
                                 StageControl control) -> QCoro::Task<> {
                            co_await service.runTool(tool, {}, {}, control);
                        }(service, tool, control));
        QTRY_VERIFY(runningTool() != 0);
        const qint64 pid = runningTool();
        QTest::qWait(100);
        if (suspended) {
            control.suspend();
            QTRY_COMPARE(processState(pid), 'T');
        }
        control.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 10000);
        QVERIFY2(outcome->error && outcome->error->isCancellation(), outcome->story());
        QVERIFY(!processExists(pid));
        QCOMPARE(QFile::exists(ended), !ignoresTerm);
    }

    void destroyingTheServiceEndsItsTool() {
        auto service = std::make_unique<FFmpegService>();
        StageControl control;
        const auto outcome = start(service->runToolStreaming(
            script("sleeper.sh", "exec sleep 60"), {}, {}, [](double) {}, [](const QString&) {},
            control));
        QTRY_VERIFY(runningTool() != 0);
        const qint64 pid = runningTool();
        control.suspend();
        QTRY_COMPARE(processState(pid), 'T');
        service.reset();
        QVERIFY(!processExists(pid));
        QTest::qWait(50);
        QVERIFY(!outcome->done);
    }

    // A window closed while its tool is being ended: the ending's grace period runs out harmlessly.
    void destroyingTheServiceWhileItEndsATool() {
        auto service = std::make_unique<FFmpegService>();
        StageControl control;
        const auto outcome = start(service->runToolStreaming(
            script("stubborn.sh", "trap '' TERM\nwhile true; do sleep 0.05; done"), {}, {},
            [](double) {}, [](const QString&) {}, control));
        QTRY_VERIFY(runningTool() != 0);
        const qint64 pid = runningTool();
        control.cancel();
        QTest::qWait(200); // the tool ignores the request to end
        service.reset();
        QVERIFY(!processExists(pid));
        QTest::qWait(3500); // past the grace period after which the tool would have been killed
        QVERIFY(!outcome->done);
    }
};

QTEST_GUILESS_MAIN(ToolRunnerTest)
#include "tst_tool_runner.moc"
