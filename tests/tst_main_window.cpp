// The real widgets of the main window and the settings window, offscreen, through clicks, keys
// and the accessibility interface. Screenshots of each state go to screenshots/ in the build
// folder.
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
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace testing;

namespace {

template <typename T = QAbstractButton> T* find(QWidget& window, const QString& text) {
    for (T* candidate : window.findChildren<T*>())
        if (candidate->text() == text)
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

// The visible texts of labels, group boxes, buttons and toggles, top to bottom, left to right.
QStringList visibleTexts(QWidget& window) {
    QList<std::pair<QPoint, QString>> texts;
    const auto add = [&](QWidget* widget, const QString& text) {
        if (widget->isVisibleTo(&window) && !text.isEmpty())
            texts.append({widget->mapTo(&window, QPoint(0, 0)), text});
    };
    for (QGroupBox* box : window.findChildren<QGroupBox*>())
        add(box, box->title());
    for (QLabel* label : window.findChildren<QLabel*>())
        add(label, label->text());
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
        add(b, b->text());
    std::stable_sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
        return a.first.y() / 8 != b.first.y() / 8 ? a.first.y() < b.first.y()
                                                  : a.first.x() < b.first.x();
    });
    QStringList result;
    for (const auto& [at, text] : texts)
        result << text;
    return result;
}

// Whether each control of the window is enabled, in the shape of ControlStates, once the window
// has taken in every change announced so far.
ControlStates shownStates(MainWindow& window) {
    QCoreApplication::sendPostedEvents();
    return {control(window, "Auswählen…").isEnabled(),
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
}

ControlStates expectedStates(ContentView& view) {
    return controlStates({view.toolsOK(), view.isRunning(), view.canPause(), bool(view.sourceURL()),
                          bool(view.destinationURL()), bool(view.dvdFolderURL()),
                          bool(view.isoURL())});
}

// Does what an assistive technology does with a control: its named action, or a new value.
bool accessibly(QWidget* widget, const QString& action, const QString& value = {}) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (!accessible)
        return false;
    if (action.isEmpty())
        accessible->setText(QAccessible::Value, value);
    else if (accessible->actionInterface() &&
             accessible->actionInterface()->actionNames().contains(action))
        accessible->actionInterface()->doAction(action);
    else
        return false;
    return true;
}

QByteArray fileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_slowTools; // an ffmpeg that keeps a run going until it is ended
    QString m_shots;
    ChosenFiles m_files;

    void configureTools() {
        QSettings("Kestrin", "Kestrin").clear();
        StoredSettings().setValue(Setting::genisoimagePath, QStringLiteral("/usr/bin/genisoimage"));
    }

    void shoot(QWidget& widget, const QString& name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QTest::qWait(250); // pending layouts and the 0.2 s progress animation
        QVERIFY(widget.grab().save(m_shots + "/" + name + ".png"));
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
        QDir(m_dir.path()).mkpath("slow");
        m_slowTools = m_dir.filePath("slow");
        QFile::link("/usr/bin/ffprobe", m_slowTools + "/ffprobe");
        writeScript(m_dir, "slow/ffmpeg",
                    "echo 'frame=1 time=00:00:01.00 bitrate=1' >&2\nexec sleep 30");
    }

    void init() { configureTools(); }

    // Typed key by key: the cursor stays after what was typed where upper case grows the text,
    // and the blank at the end goes when the field is left.
    void volumeNameTypedKeyByKey() {
        MainWindow window(m_files);
        auto* field = window.findChild<QLineEdit*>("volumeName");
        field->clear();
        QTest::keyClicks(field, "Straße: Teil 2 ");
        QCOMPARE(window.contentView().isoVolumeName(), "STRASSE_ TEIL 2");
        QCOMPARE(field->cursorPosition(), field->text().size());
        emit field->editingFinished();
        QCOMPARE(field->text(), "STRASSE_ TEIL 2");
    }

    void layoutTextsAndEnabling() {
        MainWindow window(m_files);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ContentView& view = window.contentView();
        QCOMPARE(window.centralWidget()->size(), QSize(800, 720));
        shoot(window, "main-idle");

        const QStringList texts = visibleTexts(window);
        // Top to bottom, left to right.
        const QStringList expected =
            QString("Quelle|Keine Datei gewählt|Auswählen…|Ziel (PAL-DVD MPG)|Kein Ziel gewählt|"
                    "Speichern als…|MPG → VIDEO_TS|VIDEO_TS → ISO|ISO → Brennen|ISO & Brennen|▼|"
                    "DVD Name:|Bild:|Audio|Qualität|Auto|16:9|4:3|↻|Start|DVD löschen|"
                    "VIDEO_TS erstellen|ISO erstellen|DVD brennen|Brennprüfung|Pause|Abbrechen|"
                    "Bereit.|Log")
                .split(u'|');
        qsizetype at = 0;
        for (const QString& text : expected) {
            at = texts.indexOf(text, at);
            QVERIFY2(at >= 0,
                     qPrintable(text + " missing or out of order in " + texts.join(" | ")));
        }
        QCOMPARE(window.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");
        QVERIFY(shownStates(window) == expectedStates(view));

        m_files.toOpen = m_clip;
        control(window, "Auswählen…").click();
        auto* audio = window.findChild<QComboBox*>("audio");
        const QString label = "#1 • ger • ac3 • 1ch • Deutsch mit Kommentar des Regisseurs";
        QTRY_COMPARE(audio->itemText(1), label);
        QCOMPARE(audio->count(), 2);
        audio->setCurrentIndex(1);
        QTRY_COMPARE(audio->toolTip(), label); // the closed picker shortens it with "…"
        QCOMPARE(view.settings().value(Setting::audioStreamIndex), 1);
        QVERIFY(shownStates(window) == expectedStates(view));

        m_files.toSave = std::nullopt;
        control(window, "Speichern als…").click();
        QVERIFY(m_files.lastProposal.endsWith("Urlaub 2026_PAL_DVD.mpg"));
        QCOMPARE(view.destinationURL(), m_dir.filePath("Urlaub 2026_PAL_DVD.mpg"));

        // Chain toggles: later ones disabled, not changed.
        toggle(window, "MPG → VIDEO_TS").click();
        QTRY_VERIFY(!toggle(window, "VIDEO_TS → ISO").isEnabled());
        QVERIFY(toggle(window, "VIDEO_TS → ISO").isChecked());
        QVERIFY(!toggle(window, "ISO → Brennen").isEnabled());
        toggle(window, "MPG → VIDEO_TS").click();
        QTRY_VERIFY(toggle(window, "ISO → Brennen").isEnabled());

        // "ISO → Brennen" opens and closes the ISO section, the window growing with it; its header
        // opens it alone.
        toggle(window, "ISO → Brennen").click();
        QTRY_COMPARE(window.centralWidget()->height(), 820);
        QVERIFY(visibleTexts(window).contains("DVD-Ordner:"));
        shoot(window, "main-iso-open");
        toggle(window, "ISO → Brennen").click();
        QTRY_COMPARE(window.centralWidget()->height(), 720);
        window.findChild<QPushButton*>("isoHeader")->click();
        QTRY_COMPARE(window.centralWidget()->height(), 820);
        QVERIFY(!toggle(window, "ISO → Brennen").isChecked());

        // Return starts the conversion; while it runs the inputs are disabled.
        view.settings().setValue(Setting::ffmpegPath, m_slowTools + "/ffmpeg");
        window.activateWindow();
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(view.isRunning());
        QVERIFY(shownStates(window) == expectedStates(view));
        shoot(window, "main-running");
        control(window, "Pause").click();
        QTRY_VERIFY(find(window, "Fortsetzen"));
        control(window, "Abbrechen").click();
        QTRY_VERIFY(find(window, "Pause") && !find(window, "Pause")->isEnabled());
        QVERIFY(shownStates(window) == expectedStates(view));
    }

    // The disc picker beside the quality shows the stored choice; a choice by key, or set by a
    // screen reader through the accessibility interface, is stored at once, so the encode gets
    // what the screen shows.
    void choicesStoredHoweverMade() {
        StoredSettings().setValue(Setting::discSize, 1);
        StoredSettings().setValue(Setting::qualityPreset, 3);
        MainWindow window(m_files);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ContentView& view = window.contentView();
        auto* quality = window.findChild<QComboBox*>("quality");
        auto* disc = window.findChild<QComboBox*>("disc");
        QVERIFY(quality && disc);
        QCOMPARE(quality->currentText(), "Passend");
        QCOMPARE(disc->itemText(0), "DVD-5 (4,7 GB)");
        QCOMPARE(disc->currentText(), "DVD-9 (8,5 GB)");
        const QRect q(quality->mapTo(&window, QPoint()), quality->size());
        const QRect d(disc->mapTo(&window, QPoint()), disc->size());
        QVERIFY(d.left() >= q.right() && qAbs(d.center().y() - q.center().y()) < 4);
        QVERIFY(d.right() < window.width() && disc->width() >= disc->sizeHint().width());

        disc->setFocus();
        QTest::keyClick(disc, Qt::Key_Up);
        QCOMPARE(view.settings().value(Setting::discSize), 0);
        QTest::keyClick(quality, Qt::Key_Up);
        QCOMPARE(view.settings().value(Setting::qualityPreset), 2);
        StoredSettings().setValue(Setting::discSize, 1);
        QTRY_COMPARE(disc->currentText(), "DVD-9 (8,5 GB)");
        StoredSettings().setValue(Setting::qualityPreset, 9); // another version's value
        QTRY_COMPARE(quality->currentText(), "Standard");

        const QString toggleAction = QAccessibleActionInterface::toggleAction();
        QVERIFY(accessibly(&control(window, "16:9"), toggleAction));
        QCOMPARE(view.settings().value(Setting::aspectMode), 1);
        QVERIFY(accessibly(&toggle(window, "Brennprüfung"), toggleAction));
        QVERIFY(view.settings().value(Setting::verifyAfterBurn));
        QVERIFY(accessibly(window.findChild<QLineEdit*>("volumeName"), {}, "Straße"));
        QCOMPARE(view.isoVolumeName(), "STRASSE");
        shoot(window, "main-disc");
    }

    // The alert at the start leads to the settings window, where "Tools prüfen" marks each tool
    // and makes the main window ready again once the tool is there; paths are stored as typed.
    void missingToolsAlertAndSettings() {
        const QString dvdauthor = m_dir.filePath("kein/dvdauthor");
        StoredSettings().setValue(Setting::dvdauthorPath, dvdauthor);
        KestrinApp app(*qApp);
        MainWindow& window = app.mainWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* alert = window.findChild<QMessageBox*>("missingToolsAlert");
        QVERIFY(alert && alert->isVisible());
        QCOMPARE(alert->windowTitle(), "Benötigte Tools fehlen");
        QVERIFY(alert->informativeText().startsWith(
            "Folgende Tools fehlen oder sind nicht ausführbar:\n\n• dvdauthor (" + dvdauthor +
            ")\n\nInstallation (apt):"));
        QCOMPARE(window.findChild<QLabel*>("status")->text(), "Tools fehlen ❌");
        window.contentView().applyDestination(m_dir.filePath("Ziel.mpg"));
        QVERIFY(shownStates(window) == expectedStates(window.contentView()));
        shoot(*alert, "alert");

        control(*alert, "Einstellungen…").click();
        QTRY_VERIFY(!alert->isVisible());
        PreferencesView* settings = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && qobject_cast<PreferencesView*>(top))
                settings = qobject_cast<PreferencesView*>(top);
        QVERIFY(settings);
        const auto mark = [&](const QString& tool) {
            return settings->findChild<QLabel*>(tool + "Mark")->text();
        };
        QCOMPARE(mark("dvdauthor"), "❌");
        QDir().mkpath(m_dir.filePath("kein"));
        QVERIFY(QFile::link("/usr/bin/dvdauthor", dvdauthor));
        control(*settings, "Tools prüfen").click();
        QCOMPARE(mark("dvdauthor"), "✅");
        QTRY_COMPARE(window.findChild<QLabel*>("status")->text(), "Bereit.");
        QVERIFY(shownStates(window) == expectedStates(window.contentView()));
        shoot(*settings, "settings");

        control(*settings, "Standardpfade").click();
        QCOMPARE(settings->findChild<QLineEdit*>("dvdauthor")->text(), "/usr/bin/dvdauthor");
        QCOMPARE(StoredSettings().value(Setting::dvdauthorPath), "/usr/bin/dvdauthor");
        settings->close();
    }

    // The log buttons of the settings window reach every main window.
    void logButtonsReachEveryWindow() {
        MainWindow first(m_files);
        MainWindow second(m_files);
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first) && QTest::qWaitForWindowExposed(&second));
        first.contentView().appendLog("Fertig ✅ eins");
        second.contentView().appendLog("Fertig ✅ zwei");
        PreferencesView preferences;
        m_files.toSave = m_dir.filePath("Kestrin_Log.txt");
        m_files.asked = 0;
        control(preferences, "Log speichern…").click();
        QCOMPARE(m_files.asked, 2);
        QCOMPARE(m_files.lastProposal, "Kestrin_Log.txt");
        QCOMPARE(fileContent(m_dir.filePath("Kestrin_Log.txt")), "Fertig ✅ zwei\n"); // saved last
        QTRY_COMPARE(first.findChild<QLabel*>("status")->text(), "Log gespeichert ✅");

        control(preferences, "Log leeren").click();
        QTRY_COMPARE(first.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");
        QTRY_COMPARE(second.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");
        m_files.asked = 0;
        control(preferences, "Log speichern…").click(); // nothing to save, nothing asked
        QCOMPARE(m_files.asked, 0);
    }

    void wholeRoadThroughClicks() {
        MainWindow window(m_files);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        m_files.toOpen = m_clip;
        control(window, "Auswählen…").click();
        toggle(window, "VIDEO_TS → ISO").click(); // a DVD folder without its image
        QTRY_VERIFY(window.findChild<StartButton*>("start")->isEnabled());
        QTest::mouseClick(window.findChild<StartButton*>("start"), Qt::LeftButton);
        QVERIFY2(window.contentView().isRunning(), qPrintable(window.contentView().statusText()));
        QTRY_VERIFY_WITH_TIMEOUT(!window.contentView().isRunning(), 120000);
        QTRY_COMPARE(window.findChild<QLabel*>("status")->text(), "Fertig ✅");
        QVERIFY(window.contentView().dvdFolderURL() && !window.contentView().isoURL());
        QVERIFY(shownStates(window) == expectedStates(window.contentView()));
        shoot(window, "main-done");
        // The title the encode found out goes with its MPEG file to the next VIDEO_TS run.
        control(window, "VIDEO_TS erstellen").click();
        auto* next = window.contentView().findChild<DiscRun*>();
        QVERIFY(next && next->request().title.audioLanguage == "de");
        window.contentView().abortRun();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
