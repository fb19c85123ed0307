// Kestrin ended from outside while a tool works: SIGTERM (SIGINT and SIGHUP reach the same
// handler) ends it as "Beenden" does, and no tool it started, nor any program such a tool started,
// outlives it, also when it is killed. What is left is only complete files under their names.
#include "MediaChecks.h"
#include "TestFiles.h"
#include "platform/StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace testing;

namespace {

// The processes below pid named command, at any depth.
QList<qint64> descendantsNamed(qint64 pid, const QString& command) {
    QList<qint64> found;
    for (const qint64 child : childProcesses(pid)) {
        QFile name(QStringLiteral("/proc/%1/comm").arg(child));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == command.toUtf8())
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

    // Starts Kestrin with a run; the process of command working for it, once it works (or 0).
    qint64 startKestrin(QProcess& kestrin, const QString& mode, const QString& path,
                        const QString& command) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        kestrin.setProcessEnvironment(environment);
        kestrin.start(QStringLiteral(KESTRIN_DRIVER), {mode, path});
        if (!kestrin.waitForStarted())
            return 0;
        const auto found = [&] { return descendantsNamed(kestrin.processId(), command); };
        return QTest::qWaitFor([&] { return !found().isEmpty(); }, 60000) ? found().value(0) : 0;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        StoredSettings settings;
        settings.setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));
        settings.setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        // Its genisoimage takes its time.
        settings.setValue(Setting::genisoimagePath, m_dir.filePath("slow/genisoimage"));
        m_clip = makeClip(m_dir, "Lang.mp4",
                          words("-f lavfi -i testsrc2=s=320x180:r=25:d=60 -c:v libx264 -preset "
                                "ultrafast"));
        m_mpg = makeClip(m_dir, "Kurz.mpg",
                         words("-f lavfi -i testsrc2=s=320x180:r=25:d=2 -target pal-dvd"));
        QDir(m_dir.path()).mkpath("slow");
        writeScript(m_dir, "slow/genisoimage",
                    "for a; do [ \"$next\" ] && echo begun > \"$a\"; next=; "
                    "[ \"$a\" = -o ] && next=1; done\nwhile true; do sleep 0.1; done");
    }

    void endedFromOutside_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        const auto row = [](const char* name, const char* mode, const char* command, int signal) {
            QTest::newRow(name) << QString(mode) << QString(command) << signal;
        };
        row("SIGTERM", "encode", "ffmpeg", SIGTERM);
        row("SIGKILL, encode", "encode", "ffmpeg", SIGKILL);
        row("SIGKILL, image", "image", "genisoimage", SIGKILL);
    }
    void endedFromOutside() {
        QFETCH(QString, mode);
        QFETCH(QString, command);
        QFETCH(int, signal);
        const QTemporaryDir folder(m_dir.filePath("run-XXXXXX"));
        const QString original = mode == "encode" ? m_clip : m_mpg;
        const QString source = folder.filePath(QFileInfo(original).fileName());
        QVERIFY(QFile::copy(original, source));
        QProcess kestrin;
        const qint64 tool = startKestrin(kestrin, mode, source, command);
        QVERIFY2(tool, qPrintable(command + " did not start"));
        const qint64 pid = kestrin.processId();
        const qint64 toolsParent = childProcesses(pid).value(0);
        QTest::qWait(200);
        ::kill(pid, signal);
        QVERIFY(kestrin.waitForFinished(10000));
        if (signal != SIGKILL) { // ended as "Beenden" ends it: its tools went before it
            QVERIFY(kestrin.exitStatus() == QProcess::NormalExit && kestrin.exitCode() == 0);
            QVERIFY(!processExists(tool));
        }
        QTRY_VERIFY(!processExists(tool));
        QTRY_VERIFY(!processExists(toolsParent));
        const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left == QStringList{QFileInfo(source).fileName()}, qPrintable(left.join(' ')));
    }
};

QTEST_GUILESS_MAIN(AppLifetimeTest)
#include "tst_app_lifetime.moc"
