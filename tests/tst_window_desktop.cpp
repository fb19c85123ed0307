// The main window on the desktop, offscreen under a private session bus with fake services.
#include "ChosenFiles.h"
#include "FakeDesktop.h"
#include "KestrinApp.h"
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace testing;

namespace {

// Drops files onto a widget as a file manager does; false where the widget refuses them.
bool drop(QWidget& widget, const QList<QUrl>& files) {
    QMimeData data;
    data.setUrls(files);
    const QPoint centre = widget.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &dropped);
    return true;
}

} // namespace

class WindowDesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_slowTools;  // an ffmpeg that keeps a run going until it is ended
    ChosenFiles m_panels; // chooses nothing

private slots:
    void initTestCase() {
        QVERIFY2(!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty(), "run under dbus-run-session");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        StoredSettings settings;
        settings.setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        settings.setValue(Setting::genisoimagePath, QStringLiteral("/usr/bin/genisoimage"));
        m_clip = makeClip(m_dir, "Reise.mkv",
                          {"-f", "lavfi", "-i", "testsrc2=s=160x90:r=25:d=1", "-f", "lavfi", "-i",
                           "sine=d=1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3"});
        QDir(m_dir.path()).mkpath("slow");
        m_slowTools = m_dir.filePath("slow");
        QFile::link("/usr/bin/ffprobe", m_slowTools + "/ffprobe");
        writeScript(m_dir, "slow/ffmpeg",
                    "echo 'frame=1 time=00:00:00.42 bitrate=1' >&2\nexec sleep 30");
    }

    void init() {
        StoredSettings().setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));
    }

    // Named on the command line (relative to where Kestrin was started) or dropped onto the window.
    void openedFiles_data() {
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("status");
        QTest::newRow("command line") << false << QStringList{"Reise.mkv"} << "Bereit.";
        QTest::newRow("a video") << true << QStringList{"Reise.mkv"} << "Bereit.";
        QTest::newRow("two videos") << true << QStringList{"Reise.mkv", "Reise.mkv"}
                                    << "Bitte genau eine Videodatei ablegen.";
        QTest::newRow("not a video")
            << true << QStringList{"config"} << "Keine Videodatei: " + m_dir.filePath("config");
        QTest::newRow("a text") << true << QStringList{"notiz.txt"}
                                << "Keine Videodatei (MKV, MP4, M4V …): notiz.txt";
    }
    void openedFiles() {
        QFETCH(bool, dropped);
        QFETCH(QStringList, files);
        QFETCH(QString, status);
        QFile(m_dir.filePath("notiz.txt")).open(QIODevice::WriteOnly);
        QDir::setCurrent(m_dir.path());
        KestrinApp kestrin(*qApp);
        MainWindow& window = kestrin.mainWindow();
        window.show();
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(m_dir.filePath(file));
        if (dropped)
            QVERIFY(drop(window, urls));
        else
            kestrin.openFiles(files);
        const ContentView& view = window.contentView();
        QCOMPARE(view.statusText(), status);
        QCOMPARE(view.sourceURL().has_value(), status == "Bereit.");
        if (view.sourceURL()) {
            QCOMPARE(view.sourceURL(), m_clip);
            QCOMPARE(view.destinationURL(), m_dir.filePath("Reise_PAL_DVD.mpg"));
            QTRY_COMPARE(view.audioStreams().size(), 1);
        }
    }

    // Awake from the start of a run to every kind of end, also when the run ends or Kestrin quits
    // while the inhibitor is still being asked for; login1 first, else the screen saver. A window
    // in the background tells the desktop how the run ended; no drop is taken during a run.
    void awakeDuringEveryRunAndToldAtItsEnd_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("services");
        QTest::addColumn<bool>("whileAsked");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("told");
        QTest::newRow("done, login1")
            << "done" << (withLogin | withScreenSaver) << false << false << "Fertig ✅";
        QTest::newRow("done, window active")
            << "done" << int(withLogin) << false << true << QString();
        QTest::newRow("failed while asked")
            << "failed" << int(withLogin) << true << false
            << "Fehler ❌ Tool nicht gefunden oder nicht ausführbar: /nirgends";
        QTest::newRow("aborted, login1 refuses")
            << "aborted" << (withRefusingLogin | withScreenSaver) << false << false
            << "Abgebrochen.";
        QTest::newRow("quit, screen saver")
            << "quit" << int(withScreenSaver) << false << false << QString();
        QTest::newRow("quit while asked, screen saver")
            << "quit" << int(withScreenSaver) << true << false << QString();
    }
    void awakeDuringEveryRunAndToldAtItsEnd() {
        QFETCH(QString, ending);
        QFETCH(int, services);
        QFETCH(bool, whileAsked);
        QFETCH(bool, active);
        QFETCH(QString, told);
        FakeDesktop desktop(services | withNotifications);
        const bool slow = ending == "aborted" || ending == "quit";
        StoredSettings().setValue(Setting::ffmpegPath, ending == "failed" ? QString("/nirgends")
                                                       : slow             ? m_slowTools + "/ffmpeg"
                                                              : QString("/usr/bin/ffmpeg"));
        FakeService& asked = services & withLogin ? desktop.login : desktop.screenSaver;
        if (whileAsked)
            asked.holdAnswers();
        auto window = std::make_unique<MainWindow>(m_panels);
        if (active) {
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
        }
        ContentView& view = window->contentView();
        view.checkTools();
        view.applySource(m_clip);
        view.setCreateVideoTSAfterConvert(false);
        QSignalSpy ended(&view, &ContentView::runEnded);
        view.startConversion();
        QTRY_COMPARE(asked.calls("Inhibit").size(), 1);
        if (slow) {
            QTRY_COMPARE(window->windowTitle(), "42 % – Kestrin");
            QVERIFY(!drop(*window, {QUrl::fromLocalFile(m_clip)}));
        }
        if (ending == "aborted")
            view.abortRun();
        if (ending != "quit") {
            QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
            QTRY_COMPARE(window->windowTitle(), "Kestrin");
        }
        asked.releaseAnswers();
        if (ending == "quit")
            window.reset();
        QTRY_COMPARE(desktop.held(), 0);
        QCOMPARE(desktop.login.calls("Inhibit").size(), services & ~withScreenSaver ? 1 : 0);
        QCOMPARE(desktop.screenSaver.calls("Inhibit").size(), services & withLogin ? 0 : 1);
        const QVariantList why =
            services & withLogin ? QVariantList{"sleep", "Kestrin", "DVD wird erstellt", "block"}
                                 : QVariantList{"Kestrin", "DVD wird erstellt"};
        QCOMPARE(asked.calls("Inhibit").value(0).arguments(), why);
        if (ending == "quit")
            return;
        // Goes out after what the window sent when the run ended.
        DesktopNotifier().notify("Ende", "Ende");
        QTRY_COMPARE(desktop.notifier.calls("Notify").size(), told.isEmpty() ? 1 : 2);
        const QList<QDBusMessage> notes = desktop.notifier.calls("Notify");
        QCOMPARE(notes.last().arguments().value(3), "Ende");
        if (!told.isEmpty())
            QCOMPARE(notes.first().arguments().mid(0, 5),
                     (QVariantList{QString("Kestrin"), 0u, DesktopIdentity::id, QString("Kestrin"),
                                   told}));
    }
};

QTEST_MAIN(WindowDesktopTest)
#include "tst_window_desktop.moc"
