// The two tool runners against small fake tools: line splitting, exit statuses, launch failures,
// environment, draining, pause, resume and cancellation.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"
#include "platform/ProcessSignals.h"

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

// Runs runToolStreaming to its end and returns what it reported, or what it threw.
struct StreamingRun {
    Recorded recorded;
    std::optional<FFmpegError> error;
};

StreamingRun stream(FFmpegService& service, const QString& tool,
                    std::optional<double> duration = {}, std::stop_token stop = {}) {
    StreamingRun run;
    run.error = awaitError(service.runToolStreaming(
        tool, {}, duration,
        [&](double f) {
            run.recorded.progress << f;
            run.recorded.events << QStringLiteral("progress %1").arg(f);
        },
        [&](const QString& line) {
            run.recorded.log << line;
            run.recorded.events << QStringLiteral("log ") + line;
        },
        stop));
    return run;
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
        QVERIFY(!run.error);
        QCOMPARE(run.recorded.events,
                 (QStringList{"log A", "log B", "log frame=1 time=00:00:01.00 x", "progress 0.25",
                              "log frame=2 time=00:00:02.00 x", "progress 0.5", "log last words"}));
        QVERIFY(!service.currentProcess);
    }

    void streamingWithoutDurationOrOutput() {
        FFmpegService service;
        QVERIFY(stream(service, script("silent.sh", "exit 0")).recorded.events.isEmpty());
        const StreamingRun noDuration =
            stream(service, script("progress.sh", R"(printf 'time=00:00:01.00\n' >&2)"), 0.0);
        QCOMPARE(noDuration.recorded.log, QStringList{"time=00:00:01.00"});
        QVERIFY(noDuration.recorded.progress.isEmpty());
    }

    void streamingFailureKeepsTheReason() {
        FFmpegService service;
        const StreamingRun run = stream(
            service, script("fails.sh", R"(printf 'working\n/out/x.mpg: Permission denied' >&2
exit 3)"));
        QVERIFY(run.error);
        QCOMPARE(run.error->kind(), FFmpegError::Kind::ConversionFailed);
        QCOMPARE(run.error->code(), 3);
        QCOMPARE(run.recorded.log, (QStringList{"working", "/out/x.mpg: Permission denied"}));
        QVERIFY(!service.currentProcess);
    }

    void toolKilledBySignalFails() {
        FFmpegService service;
        const StreamingRun run = stream(service, script("killed.sh", "kill -KILL $$"));
        QVERIFY(run.error);
        QCOMPARE(run.error->kind(), FFmpegError::Kind::ConversionFailed);
        QCOMPARE(run.error->code(), SIGKILL);

        const ToolResult result = await(service.runTool(script("term.sh", "kill -TERM $$"), {}));
        QCOMPARE(result.status, SIGTERM);
    }

    void malformedUtf8IsReplaced() {
        FFmpegService service;
        const QString tool = script("bytes.sh", R"(printf 'gr\374\337e\n' >&2; printf 'ok\377' )");
        QCOMPARE(stream(service, tool).recorded.log,
                 QStringList{QStringLiteral("gr\ufffd\ufffde")});
        const ToolResult result = await(service.runTool(tool, {}));
        QCOMPARE(result.output, QStringLiteral("ok\ufffd"));
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
        const auto streamed = awaitError(service.runToolStreaming(
            path, {}, {}, [](double) {}, [](const QString&) {}));
        QCOMPARE(streamed.value().description(), description);
        QVERIFY(!service.currentProcess);
        const auto collected = awaitError(service.runTool(path, {}));
        QCOMPARE(collected.value().kind(), FFmpegError::Kind::LaunchFailed);
        QCOMPARE(collected->description(), description);
        QVERIFY(!service.currentProcess);
    }

    void runToolReturnsEverythingAndAnyStatus() {
        FFmpegService service;
        const ToolResult result = await(service.runTool(
            script("both.sh", R"(printf 'out 1\nout 2\n'; printf 'err\n' >&2; exit 4)"), {"x"}));
        QCOMPARE(result.status, 4);
        QCOMPARE(result.output, "out 1\nout 2\n");
        QCOMPARE(result.errorOutput, "err\n");
        QVERIFY(!service.currentProcess);
    }

    void runToolPassesArgumentsUnchanged() {
        FFmpegService service;
        const QStringList arguments{"-leading dash", "with space", "quote\"'", "Ümlaut",
                                    "new\nline",     "$HOME",      "*"};
        const ToolResult result = await(service.runTool(
            script("args.sh", R"(for a in "$@"; do printf '%s\0' "$a"; done)"), arguments));
        QCOMPARE(result.output.split(QChar(0), Qt::SkipEmptyParts), arguments);
    }

    void runToolDrainsLargeOutput() {
        FFmpegService service;
        // Far more than a pipe holds, on both streams, before the tool exits.
        const ToolResult result =
            await(service.runTool(script("flood.sh", "head -c 3000000 /dev/zero | tr '\\0' o\n"
                                                     "head -c 3000000 /dev/zero | tr '\\0' e >&2"),
                                  {}));
        QCOMPARE(result.status, 0);
        QCOMPARE(result.output.size(), 3000000);
        QCOMPARE(result.errorOutput.size(), 3000000);
    }

    void runToolEnvironment() {
        qputenv("VIDEO_FORMAT", "NTSC");
        FFmpegService service;
        const auto childEnvironment = [&](std::optional<Environment> environment) {
            const ToolResult result = await(service.runTool("/usr/bin/env", {}, environment));
            QStringList lines = result.output.split('\n', Qt::SkipEmptyParts);
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

    void pauseAndResumeThroughCurrentProcess() {
        FFmpegService service;
        const QString tool = script("ticker.sh", R"(i=0
while [ $i -lt 30 ]; do echo "tick $i" >&2; i=$((i+1)); sleep 0.05; done)");
        Recorded recorded;
        Outcome<void> outcome;
        auto task =
            capture(service.runToolStreaming(
                        tool, {}, {}, [](double) {}, [&](const QString& l) { recorded.log << l; }),
                    &outcome);
        QTRY_VERIFY(recorded.log.size() >= 3);
        const qint64 pid = service.currentProcess->processId();
        {
            std::lock_guard lock(service.processLock);
            suspendProcess(*service.currentProcess);
        }
        QTRY_COMPARE(processState(pid), 'T');
        QTest::qWait(100);
        const qsizetype whilePaused = recorded.log.size();
        QTest::qWait(400);
        QCOMPARE(recorded.log.size(), whilePaused);
        {
            std::lock_guard lock(service.processLock);
            resumeProcess(*service.currentProcess);
        }
        QTRY_VERIFY_WITH_TIMEOUT(outcome.done, 20000);
        QVERIFY(!outcome.error);
        QCOMPARE(recorded.log.size(), 30);
        QCOMPARE(recorded.log.last(), "tick 29");
    }

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
        const QString tool = script(
            "endless.sh", QStringLiteral("%1\nwhile true; do echo busy >&2; sleep 0.05; done")
                              .arg(ignoresTerm ? "trap '' TERM" : ""));
        std::stop_source stop;
        Outcome<void> outcome;
        auto ignoreLine = [](const QString&) {};
        auto task = streaming
                        ? capture(service.runToolStreaming(
                                      tool, {}, {}, [](double) {}, ignoreLine, stop.get_token()),
                                  &outcome)
                        : capture(
                              [&]() -> QCoro::Task<> {
                                  co_await service.runTool(tool, {}, {}, stop.get_token());
                              }(),
                              &outcome);
        QTRY_VERIFY(service.currentProcess);
        const qint64 pid = service.currentProcess->processId();
        QTest::qWait(100);
        if (suspended) {
            suspendProcess(*service.currentProcess);
            QTRY_COMPARE(processState(pid), 'T');
        }
        stop.request_stop();
        QTRY_VERIFY_WITH_TIMEOUT(outcome.done, 10000);
        QVERIFY(errorOf(outcome).value().isCancellation());
        QVERIFY(!processExists(pid));
        QVERIFY(!service.currentProcess);
    }

    void destroyingTheServiceEndsItsTool() {
        auto service = std::make_unique<FFmpegService>();
        Outcome<void> outcome;
        auto task = capture(service->runToolStreaming(
                                script("sleeper.sh", "exec sleep 60"), {}, {}, [](double) {},
                                [](const QString&) {}),
                            &outcome);
        QTRY_VERIFY(service->currentProcess);
        const qint64 pid = service->currentProcess->processId();
        suspendProcess(*service->currentProcess);
        service.reset();
        QVERIFY(!processExists(pid));
        QTest::qWait(50);
        QVERIFY(!outcome.done);
    }
};

QTEST_GUILESS_MAIN(ToolRunnerTest)
#include "tst_tool_runner.moc"
