// The main window on the desktop, offscreen under a private session bus with fake services.
#include "ChosenFiles.h"
#include "FakeDesktop.h"
#include "KestrinApp.h"
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"

#include <QApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
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
    ChosenFiles m_panels; // chooses nothing

private slots:
    void initTestCase() {
        QVERIFY2(!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty(), "run under dbus-run-session");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        m_clip = makeClip(m_dir, "Reise.mkv",
                          {"-f", "lavfi", "-i", "testsrc2=s=160x90:r=25:d=1", "-f", "lavfi", "-i",
                           "sine=d=1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3"});
        QDir(m_dir.path()).mkpath("slow");
        QFile::link("/usr/bin/ffprobe", m_dir.filePath("slow/ffprobe"));
        writeScript(m_dir, "slow/ffmpeg",
                    "case \"$*\" in *idet*) exit 0;; esac\necho 'frame=1 time=00:00:00.42 "
                    "bitrate=1' >&2\nexec sleep 30");
        QFile(m_dir.filePath("notiz.txt")).open(QIODevice::WriteOnly);
    }

    void init() { QSettings("Kestrin", "Kestrin").clear(); }

    // Named on the command line, relative to where Kestrin was started; a dropped text is not
    // taken.
    void openedFiles() {
        QDir::setCurrent(m_dir.path());
        KestrinApp kestrin(*qApp);
        MainWindow& window = kestrin.mainWindow();
        window.show();
        const ContentView& view = window.contentView();
        kestrin.openFiles({"Reise.mkv"});
        QCOMPARE(view.statusText(), "Bereit.");
        kestrin.openFiles({"fehlt.mkv"}); // refused in a dialog that says why
        QCOMPARE(window.findChild<QMessageBox*>("sourceRefusal")->text(),
                 "Datei nicht gefunden: " + m_dir.filePath("fehlt.mkv"));
        kestrin.openFiles({"a.mkv", "b.mkv"});
        QCOMPARE(view.statusText(), "Bitte genau eine Videodatei auf der Befehlszeile angeben.");
        QVERIFY(drop(window, {QUrl::fromLocalFile(m_dir.filePath("notiz.txt"))}));
        QCOMPARE(view.statusText(), "Keine Videodatei (MKV, MP4, M4V …): notiz.txt");
        QCOMPARE(view.sourceURL().value_or(QString()), m_clip);
    }

    // Awake from the start of a run to its end, also when Kestrin quits during it; login1 first,
    // else the screen saver. A window in the background tells the desktop how the run ended; no
    // drop is taken during a run.
    void awakeDuringEveryRunAndToldAtItsEnd_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("services");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("told");
        QTest::newRow("done, login1")
            << "done" << (withLogin | withScreenSaver) << false << "Fertig ✅";
        QTest::newRow("done, window active") << "done" << int(withLogin) << true << QString();
        QTest::newRow("aborted, login1 refuses")
            << "aborted" << (withRefusingLogin | withScreenSaver) << false << "Abgebrochen.";
        QTest::newRow("quit, screen saver") << "quit" << int(withScreenSaver) << false << QString();
    }
    void awakeDuringEveryRunAndToldAtItsEnd() {
        QFETCH(QString, ending);
        QFETCH(int, services);
        QFETCH(bool, active);
        QFETCH(QString, told);
        FakeDesktop desktop(services | withNotifications);
        const bool slow = ending != "done";
        if (slow)
            StoredSettings().setValue(Setting::ffmpegPath, m_dir.filePath("slow/ffmpeg"));
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
        FakeService& asked = services & withLogin ? desktop.login : desktop.screenSaver;
        QTRY_COMPARE(asked.calls("Inhibit").size(), 1);
        if (slow) {
            QTRY_COMPARE(window->windowTitle(), "42 % – Kestrin");
            QVERIFY(!drop(*window, {QUrl::fromLocalFile(m_clip)}));
        }
        if (ending == "aborted")
            view.abortRun();
        if (ending == "quit")
            window.reset();
        else
            QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QTRY_COMPARE(desktop.held(), 0);
        QCOMPARE(desktop.login.calls("Inhibit").size(), services & ~withScreenSaver ? 1 : 0);
        QCOMPARE(desktop.screenSaver.calls("Inhibit").size(), services & withLogin ? 0 : 1);
        const QVariantList why =
            services & withLogin ? QVariantList{"sleep", "Kestrin", "DVD wird erstellt", "block"}
                                 : QVariantList{"Kestrin", "DVD wird erstellt"};
        QCOMPARE(asked.calls("Inhibit").value(0).arguments(), why);
        if (ending == "quit")
            return;
        QTRY_COMPARE(window->windowTitle(), "Kestrin");
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
