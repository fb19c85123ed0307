// The real widgets of the main and settings windows, offscreen, through clicks, keys and the
// accessibility interface. Screenshots of each state go to screenshots/ in the build folder.
#include "ChosenFiles.h"
#include "KestrinApp.h"
#include "MainWindow.h"
#include "PreferencesView.h"
#include "StartButton.h"
#include "TestFiles.h"
#include "inputs/ControlStates.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace testing;

namespace {

template <typename T = QAbstractButton> T* find(QWidget& window, const QString& text) {
    for (T* candidate : window.findChildren<T*>())
        if (candidate->text().remove(u'&') == text) // without its mnemonic
            return candidate;
    return nullptr;
}

// The control with this text; a missing one ends the test program with its text.
template <typename T = QAbstractButton> T& control(QWidget& window, const QString& text) {
    T* found = find<T>(window, text);
    if (!found)
        qFatal("no control \"%s\"", qPrintable(text));
    return *found;
}

QCheckBox& toggle(QWidget& window, const QString& text) {
    return control<QCheckBox>(window, text);
}

QString shownText(QWidget& window, const char* name) {
    return window.findChild<QLabel*>(name)->text();
}

// Whether the controls are enabled as ControlStates says, once every change has been shown.
bool statesShown(MainWindow& window) {
    QCoreApplication::sendPostedEvents();
    const ContentView& v = window.contentView();
    const ControlStates shown{control(window, "Auswählen…").isEnabled(),
                              control(window, "Speichern als…").isEnabled(),
                              control(window, "Wählen…").isEnabled(),
                              window.findChild<QComboBox*>("quality")->isEnabled(),
                              control<QToolButton>(window, "↻").isEnabled(),
                              window.findChild<StartButton*>("start")->isEnabled(),
                              control(window, "Pause").isEnabled(),
                              control(window, "Abbrechen").isEnabled(),
                              toggle(window, "DVD löschen").isEnabled(),
                              control(window, "VIDEO_TS erstellen").isEnabled(),
                              control(window, "ISO erstellen").isEnabled(),
                              control(window, "DVD brennen").isEnabled()};
    return shown ==
           controlStates({v.toolsOK(), v.isRunning(), v.canPause(), bool(v.sourceURL()),
                          bool(v.destinationURL()), bool(v.dvdFolderURL()), bool(v.isoURL())});
}

// Room for a title bar, 60 px of log, every control can be scrolled into view.
bool fitsTheScreen(MainWindow& window) {
    auto* scroll = qobject_cast<QScrollArea*>(window.centralWidget());
    bool fits =
        window.frameGeometry().height() + 30 <= window.screen()->availableGeometry().height() &&
        window.findChild<QPlainTextEdit*>("log")->height() >= 60;
    for (QWidget* control : scroll->widget()->findChildren<QWidget*>())
        if (control->isVisibleTo(&window) && control->focusPolicy()) {
            scroll->ensureWidgetVisible(control, 0, 0);
            fits &= scroll->viewport()->rect().contains(
                QRect(control->mapTo(scroll->viewport(), QPoint()), control->size()));
        }
    return fits;
}

// Does what an assistive technology does with a control: its toggle action.
void toggleAccessibly(QWidget& widget) {
    QAccessible::queryAccessibleInterface(&widget)->actionInterface()->doAction(
        QAccessibleActionInterface::toggleAction());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_slowTools; // an ffmpeg that keeps a run going until it is ended
    QString m_shots;
    ChosenFiles m_files;

    void shoot(QWidget& widget, const QString& name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QTest::qWait(250); // pending layouts and the 0.2 s progress animation
        QVERIFY(widget.grab().save(m_shots + "/" + name + ".png"));
    }

    bool exposed(QWidget& window) {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        m_shots = QDir(QCoreApplication::applicationDirPath()).filePath("../screenshots");
        QDir().mkpath(m_shots);
        m_clip = makeClip(m_dir, "Urlaub 2026.mkv",
                          {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                           "sine=d=2", "-metadata:s:a:0", "language=ger", "-metadata:s:a:0",
                           "title=Deutsch mit Kommentar des Regisseurs", "-c:v", "libx264",
                           "-preset", "ultrafast", "-c:a", "ac3"});
        writeScript(m_dir, "Urlaub 2026.srt", "1\n00:00:00,500 --> 00:00:01,500\nHallo");
        QDir(m_dir.path()).mkpath("slow");
        m_slowTools = m_dir.filePath("slow");
        QFile::link("/usr/bin/ffprobe", m_slowTools + "/ffprobe");
        writeScript(m_dir, "slow/ffmpeg",
                    "case \"$*\" in *idet*) exit 0;; esac\n"
                    "echo 'frame=1 time=00:00:01.00 bitrate=1' >&2\nexec sleep 30");
    }

    void init() {
        QSettings("Kestrin", "Kestrin").clear();
        StoredSettings().setValue(Setting::genisoimagePath, QStringLiteral("/usr/bin/genisoimage"));
    }

    void controlsFromIdleToRunning() {
        MainWindow window(m_files);
        QVERIFY(exposed(window));
        ContentView& view = window.contentView();
        QCOMPARE(window.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");
        // A small laptop's screen: 1024×600 less a 32 px panel (see CMakeLists.txt).
        QCOMPARE(window.screen()->availableGeometry().size(), QSize(1024, 568));
        QVERIFY(statesShown(window) && fitsTheScreen(window));
        shoot(window, "main-idle");

        m_files.toOpen = m_clip;
        control(window, "Auswählen…").click();
        auto* audio = window.findChild<QComboBox*>("audio");
        const QString label = "#1 • ger • ac3 • 1ch • Deutsch mit Kommentar des Regisseurs";
        QTRY_COMPARE(audio->itemText(1), label);
        audio->setCurrentIndex(1);
        QTRY_COMPARE(audio->toolTip(), label); // the closed picker shortens it with "…"
        QCOMPARE(view.settings().value(Setting::audioStreamIndex), 1);
        // The disc at a glance before anything is encoded, following the chosen disc.
        auto* fill = window.findChild<QProgressBar*>("discFill");
        QTRY_COMPARE(fill->format(), "0,00 von 4,70 GB · 0 %");
        window.findChild<QComboBox*>("disc")->setCurrentIndex(1);
        QTRY_COMPARE(fill->format(), "0,00 von 8,54 GB · 0 %");
        m_files.toSave = std::nullopt;
        control(window, "Speichern als…").click();
        QVERIFY(m_files.lastProposal.endsWith("Urlaub 2026_PAL_DVD.mpg"));
        QCOMPARE(view.destinationURL(), m_dir.filePath("Urlaub 2026_PAL_DVD.mpg"));
        QVERIFY(statesShown(window));

        // Chain toggles: later ones disabled, not changed.
        toggle(window, "MPG → VIDEO_TS").click();
        QTRY_VERIFY(!toggle(window, "ISO → Brennen").isEnabled());
        QVERIFY(!toggle(window, "VIDEO_TS → ISO").isEnabled());
        QVERIFY(toggle(window, "VIDEO_TS → ISO").isChecked());
        toggle(window, "MPG → VIDEO_TS").click();
        QTRY_VERIFY(toggle(window, "ISO → Brennen").isEnabled());
        toggle(window, "ISO → Brennen").click();
        QTRY_VERIFY(control(window, "Wählen…").isVisible() && fitsTheScreen(window));
        shoot(window, "main-iso-open");
        toggle(window, "ISO → Brennen").click();

        // Alt+N, Return only confirms the name; Return elsewhere starts, disabling the inputs.
        view.settings().setValue(Setting::ffmpegPath, m_slowTools + "/ffmpeg");
        window.activateWindow();
        QTest::keyClick(&window, Qt::Key_N, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), window.findChild<QLineEdit*>("volumeName"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!view.isRunning());
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(view.isRunning() && statesShown(window));
        QTRY_VERIFY(QRegularExpression("^Kodieren · \\d+ % · Fertig um \\d\\d:\\d\\d$")
                        .match(shownText(window, "progress"))
                        .hasMatch());
        shoot(window, "main-running");
        control(window, "Pause").click();
        QTRY_VERIFY(find(window, "Fortsetzen"));
        control(window, "Abbrechen").click();
        QTRY_VERIFY(find(window, "Pause") && !find(window, "Pause")->isEnabled());
        QVERIFY(statesShown(window));
        QTest::keyClick(&window, Qt::Key_F10);
        QVERIFY(window.menuBar()->activeAction());
    }

    // A choice by key, by typing, or made by a screen reader is stored at once, so the encode gets
    // what the screen shows; a stored choice shows.
    void choicesStoredHoweverMade() {
        StoredSettings().setValue(Setting::discSize, 1);
        MainWindow window(m_files);
        QVERIFY(exposed(window));
        ContentView& view = window.contentView();
        auto* disc = window.findChild<QComboBox*>("disc");
        QCOMPARE(disc->currentText(), "DVD-9 (8,5 GB)");
        disc->setFocus();
        QTest::keyClick(disc, Qt::Key_Up);
        QCOMPARE(view.settings().value(Setting::discSize), 0);

        toggleAccessibly(control(window, "16:9"));
        QCOMPARE(view.settings().value(Setting::aspectMode), 1);
        toggleAccessibly(toggle(window, "Brennprüfung"));
        QVERIFY(view.settings().value(Setting::verifyAfterBurn));
        // Upper case grows the text; Return confirms the name, without the blank at its end.
        auto* field = window.findChild<QLineEdit*>("volumeName");
        field->clear();
        QTest::keyClicks(field, "Straße: Teil 2 ");
        QCOMPARE(view.isoVolumeName(), "STRASSE_ TEIL 2");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), "STRASSE_ TEIL 2");
    }

    // The alert at the start leads to the settings window, where "Tools prüfen" marks each tool
    // and makes the main window ready again once the tool is there; paths are stored as typed.
    void missingToolsAlertAndSettings() {
        const QString dvdauthor = m_dir.filePath("kein/dvdauthor");
        StoredSettings().setValue(Setting::dvdauthorPath, dvdauthor);
        KestrinApp app(*qApp);
        MainWindow& window = app.mainWindow();
        QVERIFY(exposed(window));
        auto* alert = window.findChild<QMessageBox*>("missingToolsAlert");
        QVERIFY(alert && alert->isVisible());
        QCOMPARE(alert->windowTitle(), "Benötigte Tools fehlen");
        QVERIFY(alert->informativeText().startsWith(
            "Folgende Tools fehlen oder sind nicht ausführbar:\n\n• dvdauthor (" + dvdauthor +
            ")\n\nInstallation (apt):"));
        QCOMPARE(shownText(window, "status"), "Tools fehlen ❌");
        window.contentView().applyDestination(m_dir.filePath("Ziel.mpg"));
        QVERIFY(statesShown(window));
        shoot(*alert, "alert");
        QSignalSpy quit(&control(*alert, "Beenden"), &QAbstractButton::clicked);
        QTest::keyClick(alert, Qt::Key_Escape); // closes the alert only
        QTRY_VERIFY(!alert->isVisible() && window.isVisible() && quit.isEmpty());
        alert->open();
        control(*alert, "Einstellungen…").click();
        QTRY_VERIFY(!alert->isVisible());
        PreferencesView& settings = app.showSettingsWindow();
        QCOMPARE(shownText(settings, "dvdauthorMark"), "❌");
        QDir().mkpath(m_dir.filePath("kein"));
        QVERIFY(QFile::link("/usr/bin/dvdauthor", dvdauthor));
        control(settings, "Tools prüfen").click();
        QCOMPARE(shownText(settings, "dvdauthorMark"), "✅");
        QTRY_COMPARE(shownText(window, "status"), "Bereit.");
        QVERIFY(statesShown(window));
        shoot(settings, "settings");
        control(settings, "Standardpfade").click();
        QCOMPARE(StoredSettings().value(Setting::dvdauthorPath), "/usr/bin/dvdauthor");
        // Names for screen readers; Escape and Ctrl+W close the settings window.
        QStringList names;
        for (QWidget* named :
             {window.findChild<QWidget*>("isoHeader"), window.findChild<QWidget*>("volumeName"),
              settings.findChild<QWidget*>("genisoimage")})
            names << QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name);
        QCOMPARE(names, QStringList({"ISO & Brennen", "DVD Name", "genisoimage"}));
        for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence("Ctrl+W")}) {
            QVERIFY(exposed(settings) && QTest::qWaitForWindowActive(&settings));
            QTest::keySequence(&settings, key);
            QVERIFY(!settings.isVisible());
        }
    }

    void wholeRoadThroughClicks() {
        MainWindow window(m_files);
        QVERIFY(exposed(window));
        ContentView& view = window.contentView();
        m_files.toOpen = m_clip;
        control(window, "Auswählen…").click();
        toggle(window, "VIDEO_TS → ISO").click(); // a DVD folder without its image
        QTRY_VERIFY(toggle(window, "Einbrennen").isEnabled());
        toggleAccessibly(toggle(window, "Einbrennen"));
        QTRY_VERIFY(window.findChild<StartButton*>("start")->isEnabled());
        QTest::mouseClick(window.findChild<StartButton*>("start"), Qt::LeftButton);
        QVERIFY2(view.isRunning(), qPrintable(view.statusText()));
        QTRY_VERIFY_WITH_TIMEOUT(!view.isRunning(), 120000);
        QTRY_COMPARE(shownText(window, "status"), "Fertig ✅");
        QVERIFY(view.dvdFolderURL() && !view.isoURL() && statesShown(window));
        shoot(window, "main-done");
        // The title the encode found out goes with its MPEG file to the next VIDEO_TS run.
        control(window, "VIDEO_TS erstellen").click();
        auto* next = view.findChild<DiscRun*>();
        QVERIFY(next &&
                next->request().title.audioLanguages == QList<std::optional<QString>>{"de"} &&
                next->request().encode.burntSubtitle == 0);
        view.abortRun();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
