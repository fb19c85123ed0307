// The main window at home on the desktop, offscreen under a private session bus with fake
// desktop services: a file from the command line or dropped onto the window becomes the source;
// the machine stays awake from the start of a run to every kind of end, quitting included; a run
// that ends while the window is in the background says so in a notification; the title carries
// the progress.
#include "FakeDesktop.h"
#include "KestrinApp.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

using namespace testing;

namespace {

class NoPanels : public FilePanels {
public:
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        return std::nullopt;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString&) override {
        return std::nullopt;
    }
};

// Drops files onto a widget as a file manager does.
void drop(QWidget& widget, const QList<QUrl>& files) {
    QMimeData data;
    data.setUrls(files);
    const QPoint centre = widget.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &dropped);
}

} // namespace

class WindowDesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_slowTools; // an ffmpeg that keeps a run going until it is ended
    NoPanels m_panels;

private slots:
    void initTestCase() {
        QVERIFY2(!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty(), "run under dbus-run-session");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        StoredSettings settings;
        settings.setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));
        settings.setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        settings.setValue(Setting::hdiutilPath, QStringLiteral(KESTRIN_HDIUTIL));
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

    void fileFromTheCommandLine() {
        KestrinApp kestrin(*qApp);
        MainWindow& window = kestrin.mainWindow();
        window.show();
        QDir::setCurrent(m_dir.path());
        kestrin.openFiles({"Reise.mkv"}); // relative to where Kestrin was started
        ContentView& view = window.contentView();
        QCOMPARE(view.sourceURL(), m_clip);
        QCOMPARE(view.destinationURL(), m_dir.filePath("Reise_PAL_DVD.mpg"));
        QTRY_COMPARE(view.audioStreams().size(), 1);

        kestrin.openFiles({m_dir.filePath("nicht da.mkv")});
        QCOMPARE(view.statusText(), "Keine Videodatei: " + m_dir.filePath("nicht da.mkv"));
        QCOMPARE(view.sourceURL(), m_clip);
    }

    void droppedFiles_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("status");
        QTest::newRow("a video") << QStringList{"Reise.mkv"} << "Bereit.";
        QTest::newRow("two videos")
            << QStringList{"Reise.mkv", "Reise.mkv"} << "Bitte genau eine Videodatei ablegen.";
        QTest::newRow("not a video")
            << QStringList{"config"} << "Keine Videodatei: " + m_dir.filePath("config");
        QTest::newRow("a text") << QStringList{"notiz.txt"}
                                << "Keine Videodatei (MKV, MP4, M4V …): notiz.txt";
    }
    void droppedFiles() {
        QFETCH(QStringList, files);
        QFETCH(QString, status);
        QFile(m_dir.filePath("notiz.txt")).open(QIODevice::WriteOnly);
        MainWindow window(m_panels);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(m_dir.filePath(file));
        drop(window, urls);
        ContentView& view = window.contentView();
        QCOMPARE(view.statusText(), status);
        QCOMPARE(view.sourceURL().has_value(), status == "Bereit.");
    }

    void noDropDuringARun() {
        StoredSettings().setValue(Setting::ffmpegPath, m_slowTools + "/ffmpeg");
        MainWindow window(m_panels);
        window.show();
        ContentView& view = window.contentView();
        view.applySource(m_clip);
        view.startConversion();
        QTRY_COMPARE(window.windowTitle(), "42 % – Kestrin");
        drop(window, {QUrl::fromLocalFile(m_dir.filePath("notiz.txt"))});
        QCOMPARE(view.sourceURL(), m_clip);
        view.abortRun();
        QTRY_COMPARE(window.windowTitle(), "Kestrin");
    }

    // Every ending gives the inhibitor back; a window in the background tells the desktop.
    void awakeDuringEveryRunAndToldAtItsEnd_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("status");
        QTest::newRow("done") << "done"
                              << "Fertig ✅";
        QTest::newRow("failed") << "failed"
                                << "Fehler ❌ Tool nicht gefunden oder nicht ausführbar: /nirgends";
        QTest::newRow("aborted") << "aborted"
                                 << "Abgebrochen.";
        QTest::newRow("quit") << "quit" << QString();
    }
    void awakeDuringEveryRunAndToldAtItsEnd() {
        QFETCH(QString, ending);
        QFETCH(QString, status);
        FakeDesktop desktop(withNotifications | withLogin);
        QVERIFY(desktop.ready());
        StoredSettings().setValue(Setting::ffmpegPath, ending == "failed" ? QString("/nirgends")
                                                       : ending == "done"
                                                           ? QString("/usr/bin/ffmpeg")
                                                           : m_slowTools + "/ffmpeg");
        auto window = std::make_unique<MainWindow>(m_panels);
        ContentView& view = window->contentView();
        view.checkTools();
        view.applySource(m_clip);
        view.setCreateVideoTSAfterConvert(false);
        view.startConversion();
        QTRY_COMPARE(desktop.login.calls("Inhibit").size(), 1);
        QCOMPARE(desktop.login.calls("Inhibit").first().arguments.value(2), "DVD wird erstellt");
        if (ending == "aborted" || ending == "quit")
            QTRY_VERIFY(view.progress() > 0);
        if (ending == "aborted")
            view.abortRun();
        if (ending == "quit")
            window.reset();
        else
            QTRY_VERIFY_WITH_TIMEOUT(!view.isRunning(), 60000);
        QTRY_COMPARE(desktop.loginHeld(), 0);
        if (ending == "quit")
            return;
        // The window was never shown, so it is not the active one.
        QTRY_COMPARE(desktop.notifier.calls("Notify").size(), 1);
        QCOMPARE(desktop.notifier.calls("Notify").first().arguments.mid(3, 2),
                 (QVariantList{QString("Kestrin"), status}));
    }

    void noNotificationWhileTheWindowIsActive() {
        FakeDesktop desktop(withNotifications);
        QVERIFY(desktop.ready());
        MainWindow window(m_panels);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ContentView& view = window.contentView();
        view.applySource(m_clip);
        view.setCreateVideoTSAfterConvert(false);
        view.startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(!view.isRunning(), 60000);
        QCOMPARE(view.statusText(), "Fertig ✅");
        QTest::qWait(200);
        QVERIFY(desktop.notifier.calls("Notify").isEmpty());
    }
};

QTEST_MAIN(WindowDesktopTest)
#include "tst_window_desktop.moc"
