// SIGTERM (SIGINT and SIGHUP reach the same handler) ends Kestrin as "Beenden" does: no tool it
// started, nor their programs, outlives it, and only complete files are left under their names.
#include "MediaChecks.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace testing;

class AppLifetimeTest : public QObject {
    Q_OBJECT

private slots:
    void endedFromOutside() {
        QTemporaryDir dir;
        const QString source =
            makeClip(dir, "Lang.mp4",
                     words("-f lavfi -i testsrc2=s=320x180:r=25:d=60 -c:v libx264 -preset "
                           "ultrafast"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        QProcess kestrin;
        kestrin.setProcessEnvironment(environment);
        kestrin.start(QStringLiteral(KESTRIN_DRIVER), {source});
        QVERIFY(kestrin.waitForStarted());
        // Its tools and theirs, once ffmpeg works.
        QList<qint64> tools;
        const auto encoding = [&] {
            tools = childProcesses(kestrin.processId());
            for (qsizetype i = 0; i < tools.size(); ++i)
                tools += childProcesses(tools[i]);
            return std::any_of(tools.cbegin(), tools.cend(), [](qint64 tool) {
                return fileContents(QStringLiteral("/proc/%1/comm").arg(tool)) == "ffmpeg\n";
            });
        };
        QVERIFY(QTest::qWaitFor(encoding, 60000));
        QTest::qWait(200);
        ::kill(kestrin.processId(), SIGTERM);
        QVERIFY(kestrin.waitForFinished(10000));
        QVERIFY(kestrin.exitStatus() == QProcess::NormalExit && kestrin.exitCode() == 0);
        for (const qint64 tool : tools)
            QVERIFY(!processExists(tool)); // ended as "Beenden" ends them: before Kestrin
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left == QStringList{"Lang.mp4"}, qPrintable(left.join(' ')));
    }
};

QTEST_GUILESS_MAIN(AppLifetimeTest)
#include "tst_app_lifetime.moc"
