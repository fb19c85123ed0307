// Kestrin ended from outside while a tool works: SIGTERM, SIGINT and SIGHUP end it as "Beenden"
// does, and no tool it started, nor any program such a tool started, outlives it, also when it is
// killed. What is left is only complete files under their names.
#include "TestFiles.h"
#include "platform/StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace testing;

namespace {

QString commandOf(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
}

// The processes below pid named command, at any depth.
QList<qint64> descendantsNamed(qint64 pid, const QString& command) {
    QList<qint64> found;
    for (const qint64 child : childProcesses(pid)) {
        if (commandOf(child) == command)
            found << child;
        found << descendantsNamed(child, command);
    }
    return found;
}

} // namespace

class AppLifetimeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_mpg;
    QString m_slowImageTool; // a folder whose genisoimage takes its time

    // Starts Kestrin with a run and waits until command works for it.
    qint64 startKestrin(QProcess& kestrin, const QString& mode, const QString& path,
                        const QString& command, qint64* tool) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        environment.insert("PATH", m_slowImageTool + ":" + environment.value("PATH"));
        kestrin.setProcessEnvironment(environment);
        kestrin.start(QStringLiteral(KESTRIN_DRIVER), {mode, path});
        if (!kestrin.waitForStarted())
            return 0;
        if (QTest::qWaitFor(
                [&] { return !descendantsNamed(kestrin.processId(), command).isEmpty(); }, 60000))
            *tool = descendantsNamed(kestrin.processId(), command).first();
        return kestrin.processId();
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        StoredSettings settings;
        settings.setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));
        settings.setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        settings.setValue(Setting::hdiutilPath, QStringLiteral(KESTRIN_HDIUTIL));
        m_clip = makeClip(m_dir, "Lang.mp4",
                          {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=60", "-f", "lavfi",
                           "-i", "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                           "aac"});
        m_mpg = makeClip(m_dir, "Kurz.mpg",
                         {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                          "sine=d=2", "-target", "pal-dvd"});
        QDir(m_dir.path()).mkpath("slow");
        m_slowImageTool = m_dir.filePath("slow");
        writeScript(m_dir, "slow/genisoimage",
                    "for a; do [ \"$next\" ] && echo begun > \"$a\"; next=; "
                    "[ \"$a\" = -o ] && next=1; done\nwhile true; do sleep 0.1; done");
    }

    void signalsEndItAsBeendenDoes_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsEndItAsBeendenDoes() {
        QFETCH(int, signal);
        QProcess kestrin;
        qint64 ffmpeg = 0;
        const qint64 pid = startKestrin(kestrin, "encode", m_clip, "ffmpeg", &ffmpeg);
        QVERIFY2(ffmpeg, "ffmpeg did not start");
        ::kill(pid, signal);
        QVERIFY(kestrin.waitForFinished(10000));
        QCOMPARE(kestrin.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kestrin.exitCode(), 0);
        QVERIFY(!processExists(ffmpeg));
        QCOMPARE(QDir(m_dir.path()).entryList({"*.mpg", ".kestrin*"}, QDir::Files | QDir::Hidden),
                 QStringList{"Kurz.mpg"});
    }

    void killedItTakesItsToolsAlong_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("command");
        QTest::newRow("encode") << "encode"
                                << "ffmpeg";
        QTest::newRow("image") << "image"
                               << "genisoimage";
    }
    void killedItTakesItsToolsAlong() {
        QFETCH(QString, mode);
        QFETCH(QString, command);
        const QString folder = m_dir.filePath(mode);
        QDir().mkpath(folder);
        const QString source = folder + "/" + QFileInfo(mode == "encode" ? m_clip : m_mpg).fileName();
        QVERIFY(QFile::copy(mode == "encode" ? m_clip : m_mpg, source));
        QProcess kestrin;
        qint64 tool = 0;
        const qint64 pid = startKestrin(kestrin, mode, source, command, &tool);
        QVERIFY2(tool, qPrintable(command + " did not start"));
        const qint64 toolsParent = childProcesses(pid).value(0);
        QTest::qWait(200);
        ::kill(pid, SIGKILL);
        QVERIFY(kestrin.waitForFinished(10000));
        QTRY_VERIFY(!processExists(tool));
        QTRY_VERIFY(!processExists(toolsParent));
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left == QStringList{QFileInfo(source).fileName()}, qPrintable(left.join(' ')));
    }
};

QTEST_GUILESS_MAIN(AppLifetimeTest)
#include "tst_app_lifetime.moc"
