// The two tool runners against small fake tools: lines, failures, arguments and environment, and
// pause, resume and cancellation of a tool with what it started itself.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <memory>

using namespace testing;

namespace {

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

// Starts a tool with either runner.
std::shared_ptr<Outcome<void>> startTool(FFmpegService& service, const QString& tool,
                                         StageControl control, bool streaming = true) {
    if (streaming)
        return start(service.runToolStreaming(
            tool, {}, [](const QString&) {}, control));
    return start([](FFmpegService& service, QString tool, StageControl control) -> QCoro::Task<> {
        co_await service.runTool(tool, {}, {}, control);
    }(service, tool, control));
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
        const QString plain = script("plain.txt", "");
        QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner);
        QFile bad(script("bad.sh", ""));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("#!/nonexistent/interpreter\n") > 0);
        QTest::newRow("missing") << m_dir.filePath("nowhere") << "Datei nicht gefunden";
        QTest::newRow("directory") << m_dir.filePath("a directory") << "das ist ein Ordner";
        QTest::newRow("not executable") << plain << "keine Berechtigung zum Ausführen";
        QTest::newRow("bad interpreter")
            << bad.fileName() << "kein lauffähiges Programm oder sein Interpreter fehlt";
    }
    void launchFailuresSayWhy() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        FFmpegService service;
        const Outcome<ToolResult> launched = await(service.runTool(path, {}));
        QVERIFY2(launched.error && launched.error->kind() == FFmpegError::Kind::LaunchFailed,
                 launched.story());
        QCOMPARE(
            launched.error->description(),
            QStringLiteral("Programm konnte nicht gestartet werden: %1 (%2)").arg(path, reason));
    }

    // Pause and resume reach the tool and what it started itself; cancelling continues a paused
    // tool before it asks it to end, so that it can end cleanly, kills one that ignores the
    // request after a grace period, and ends what it started with it.
    void cancelEndsTheToolWithWhatItStarted_data() {
        QTest::addColumn<bool>("streaming");
        QTest::addColumn<QString>("pause"); // "", "pause" or "pause, resume"
        QTest::addColumn<bool>("ignoresTerm");
        QTest::newRow("streaming, paused and resumed") << true << "pause, resume" << false;
        QTest::newRow("runTool, paused") << false << "pause" << false;
        QTest::newRow("streaming, ignores SIGTERM") << true << "" << true;
    }
    void cancelEndsTheToolWithWhatItStarted() {
        QFETCH(bool, streaming);
        QFETCH(QString, pause);
        QFETCH(bool, ignoresTerm);
        FFmpegService service;
        const QString cleanly = m_dir.filePath("ended cleanly");
        const QString helperFile = m_dir.filePath("helper");
        QFile::remove(cleanly);
        QFile::remove(helperFile);
        const QString tool = script(
            "endless.sh",
            QStringLiteral("trap %1 TERM\nsleep 60 &\necho $! > \"%2\"\nwait")
                .arg(ignoresTerm ? "''" : "'touch \"" + cleanly + "\"; exit 0'", helperFile));
        StageControl control;
        const auto outcome = startTool(service, tool, control, streaming);
        const qint64 pid = runningTool();
        qint64 helper = 0;
        // Once the trap is set: a request to end before it would kill the tool.
        QTRY_VERIFY((helper = fileContents(helperFile).trimmed().toLongLong()) > 0);
        if (pause.contains("pause")) {
            control.suspend();
            QTRY_VERIFY(processState(pid) == 'T' && processState(helper) == 'T');
        }
        if (pause.contains("resume")) {
            control.resume();
            QTRY_VERIFY(processState(pid) != 'T' && processState(helper) != 'T');
        }
        control.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 10000);
        QVERIFY2(outcome->error && outcome->error->isCancellation(), outcome->story());
        QVERIFY(!processExists(pid));
        // Gone, or a zombie nobody reaps: an orphan's new parent here does not.
        QTRY_VERIFY2(QByteArray("?Z").contains(processState(helper)),
                     QByteArray(1, processState(helper)));
        QCOMPARE(QFile::exists(cleanly), !ignoresTerm);
    }

    // Between two tools of a paused stage the next one does not run ahead.
    void aToolStartedWhileSuspendedStartsSuspended() {
        FFmpegService service;
        StageControl control;
        control.suspend();
        const auto outcome = start(
            service.runTool(script("quick.sh", "sleep 1\necho done"), {}, std::nullopt, control));
        QTest::qWait(1500); // the tool would have ended by now
        QVERIFY(!outcome->done);
        control.resume();
        QTRY_VERIFY(outcome->done);
        QCOMPARE(outcome->value.value_or(ToolResult{}).output, "done\n");
    }
};

QTEST_GUILESS_MAIN(ToolRunnerTest)
#include "tst_tool_runner.moc"
