// The real widgets of the main window and the settings window, offscreen: texts, order,
// enabling rules, the volume name field, the ISO section, the alert, the log buttons, and the
// whole road from a chosen source to a burnt stdio: file through clicks. Screenshots of each
// state go to screenshots/ in the build folder.
#include "AwaitTask.h"
#include "KestrinApp.h"
#include "MainWindow.h"
#include "PreferencesView.h"
#include "StartButton.h"
#include "TestFiles.h"
#include "VolumeName.h"

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
#include <QTest>

using namespace testing;

namespace {

class ChosenFiles : public FilePanels {
public:
    std::optional<QString> toOpen;
    std::optional<QString> toSave;
    QString lastProposal;
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        return toOpen;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString& proposedName) override {
        lastProposal = proposedName;
        return toSave;
    }
};

QPushButton* button(QWidget& window, const QString& text) {
    for (QPushButton* candidate : window.findChildren<QPushButton*>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

QCheckBox* toggle(QWidget& window, const QString& text) {
    for (QCheckBox* candidate : window.findChildren<QCheckBox*>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
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

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_shots;
    ChosenFiles m_files;

    void configureTools() {
        StoredSettings settings;
        settings.setFfmpegPath("/usr/bin/ffmpeg");
        settings.setDvdauthorPath("/usr/bin/dvdauthor");
        settings.setHdiutilPath(QStringLiteral(KESTRIN_HDIUTIL));
        settings.setIsoSectionExpanded(false);
        settings.setVerifyAfterBurn(false);
        settings.setEraseBeforeBurn(false);
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
                           "sine=d=2", "-metadata:s:a:0", "language=ger", "-c:v", "libx264",
                           "-preset", "ultrafast", "-c:a", "ac3"});
    }

    void init() { configureTools(); }

    void volumeNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Mein Film"
                               << "MEIN FILM";
        QTest::newRow("colon") << "film: teil 2"
                               << "FILM_ TEIL 2";
        QTest::newRow("sharp s") << "Straße"
                                 << "STRASSE";
        QTest::newRow("umlaut") << "Ärger"
                                << "_RGER";
        QTest::newRow("blanks") << "  abc  "
                                << "ABC";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("long") << QString(40, 'x') << QString(32, 'X');
        QTest::newRow("blank at 32") << "A" + QString(31, ' ') + "B"
                                     << "A";
        QTest::newRow("tab and newline") << "a\tb\nc"
                                         << "A_B_C";
        QTest::newRow("combining mark") << QStringLiteral("e\u0301") << "E_";
    }
    void volumeNames() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QCOMPARE(sanitizeVolumeName(typed), shown);

        MainWindow window(m_files);
        auto* field = window.findChild<QLineEdit*>("volumeName");
        field->clear();
        field->insert(typed); // as typed or pasted
        QCOMPARE(window.contentView().isoVolumeName, sanitizeVolumeName(typed));
        emit field->editingFinished();
        QCOMPARE(field->text(), sanitizeVolumeName(typed));
    }

    void layoutTextsAndEnabling() {
        MainWindow window(m_files);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ContentView& view = window.contentView();
        QVERIFY(view.toolsOK);
        QCOMPARE(window.centralWidget()->size(), QSize(800, 720));
        shoot(window, "main-idle");

        const QStringList texts = visibleTexts(window);
        const QStringList expected{"Quelle",
                                   "Keine Datei gewählt",
                                   "Auswählen…",
                                   "Ziel (PAL-DVD MPG)",
                                   "Kein Ziel gewählt",
                                   "Speichern als…",
                                   "MPG → VIDEO_TS",
                                   "VIDEO_TS → ISO",
                                   "ISO → Brennen",
                                   "ISO & Brennen (ohne Toast)",
                                   "▼",
                                   "DVD Name:",
                                   "Bild:",
                                   "Audio",
                                   "Qualität",
                                   "Auto",
                                   "16:9",
                                   "4:3",
                                   "↻",
                                   "Start",
                                   "DVD löschen",
                                   "VIDEO_TS erstellen",
                                   "ISO erstellen",
                                   "DVD brennen",
                                   "Brennprüfung",
                                   "Pause",
                                   "Abbrechen",
                                   "Bereit.",
                                   "Log"};
        for (const QString& text : expected)
            QVERIFY2(texts.contains(text), qPrintable(text + " missing in " + texts.join(" | ")));
        QVERIFY(texts.indexOf("Quelle") < texts.indexOf("Ziel (PAL-DVD MPG)"));
        QVERIFY(texts.indexOf("Ziel (PAL-DVD MPG)") < texts.indexOf("MPG → VIDEO_TS"));
        QVERIFY(texts.indexOf("ISO → Brennen") < texts.indexOf("ISO & Brennen (ohne Toast)"));
        QVERIFY(texts.indexOf("DVD Name:") < texts.indexOf("Bild:"));
        QVERIFY(texts.indexOf("Qualität") < texts.indexOf("Start"));
        QVERIFY(texts.indexOf("Start") < texts.indexOf("Bereit."));
        QVERIFY(texts.indexOf("Bereit.") < texts.indexOf("Log"));
        QCOMPARE(window.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");

        auto* start = window.findChild<StartButton*>("start");
        QVERIFY(!start->isEnabled());
        QVERIFY(!button(window, "Speichern als…")->isEnabled());
        QVERIFY(!button(window, "VIDEO_TS erstellen")->isEnabled());
        QVERIFY(!button(window, "Pause")->isEnabled());
        QVERIFY(!button(window, "Abbrechen")->isEnabled());

        m_files.toOpen = m_clip;
        button(window, "Auswählen…")->click();
        QCOMPARE(view.destinationURL, m_dir.filePath("Urlaub 2026_PAL_DVD.mpg"));
        QTRY_VERIFY(!view.isLoadingAudioStreams);
        QTRY_COMPARE(window.findChild<QComboBox*>("audio")->count(), 2);
        QCOMPARE(window.findChild<QComboBox*>("audio")->itemText(1), "#1 • ger • ac3 • 1ch");
        QTRY_VERIFY(start->isEnabled());
        QVERIFY(button(window, "Speichern als…")->isEnabled());
        QVERIFY(button(window, "VIDEO_TS erstellen")->isEnabled());
        QVERIFY(!button(window, "ISO erstellen")->isEnabled());

        m_files.toSave = std::nullopt;
        button(window, "Speichern als…")->click();
        QVERIFY(m_files.lastProposal.endsWith("Urlaub 2026_PAL_DVD.mpg"));
        QCOMPARE(view.destinationURL, m_dir.filePath("Urlaub 2026_PAL_DVD.mpg"));

        // Chain toggles: later ones disabled, not changed.
        toggle(window, "MPG → VIDEO_TS")->click();
        QTRY_VERIFY(!toggle(window, "VIDEO_TS → ISO")->isEnabled());
        QVERIFY(toggle(window, "VIDEO_TS → ISO")->isChecked());
        QVERIFY(!toggle(window, "ISO → Brennen")->isEnabled());
        toggle(window, "MPG → VIDEO_TS")->click();
        QTRY_VERIFY(toggle(window, "ISO → Brennen")->isEnabled());

        // "ISO → Brennen" opens and closes the ISO section, and the window grows with it.
        toggle(window, "ISO → Brennen")->click();
        QTRY_COMPARE(window.centralWidget()->height(), 820);
        QVERIFY(visibleTexts(window).contains("DVD-Ordner:"));
        QVERIFY(visibleTexts(window).contains("Hinweis: Zum Brennen muss ein beschreibbarer "
                                              "Rohling im Laufwerk liegen."));
        QVERIFY(!button(window, "Wählen…")->isEnabled());
        shoot(window, "main-iso-open");
        toggle(window, "ISO → Brennen")->click();
        QTRY_COMPARE(window.centralWidget()->height(), 720);
        window.findChild<QPushButton*>("isoHeader")->click();
        QTRY_COMPARE(window.centralWidget()->height(), 820);
        QVERIFY(!toggle(window, "ISO → Brennen")->isChecked());
        window.findChild<QPushButton*>("isoHeader")->click();
        QTRY_COMPARE(window.centralWidget()->height(), 720);

        // Return starts the conversion; while it runs the inputs are disabled.
        window.activateWindow();
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(view.isRunning());
        QVERIFY(!start->isEnabled() || view.isRunning());
        QTRY_VERIFY(!button(window, "Auswählen…")->isEnabled());
        QVERIFY(button(window, "Pause")->isEnabled());
        QVERIFY(!button(window, "VIDEO_TS erstellen")->isEnabled());
        QVERIFY(!toggle(window, "DVD löschen")->isEnabled());
        shoot(window, "main-running");
        button(window, "Pause")->click();
        QTRY_VERIFY(button(window, "Fortsetzen"));
        button(window, "Abbrechen")->click();
        QTRY_COMPARE(view.logText().section('\n', 0, 0), "Abgebrochen.");
        QTRY_VERIFY(button(window, "Pause") && !button(window, "Pause")->isEnabled());
    }

    void missingToolsAlert() {
        StoredSettings().setDvdauthorPath(m_dir.filePath("kein/dvdauthor"));
        KestrinApp app;
        MainWindow& window = app.mainWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* alert = window.findChild<QMessageBox*>("missingToolsAlert");
        QVERIFY(alert && alert->isVisible());
        QCOMPARE(alert->windowTitle(), "Benötigte Tools fehlen");
        QVERIFY(alert->informativeText().startsWith(
            "Folgende Tools fehlen oder sind nicht ausführbar:\n\n• dvdauthor (" +
            m_dir.filePath("kein/dvdauthor") + ")\n\nInstallation (apt):"));
        QCOMPARE(window.findChild<QLabel*>("status")->text(), "Tools fehlen ❌");
        QVERIFY(!button(window, "VIDEO_TS erstellen")->isEnabled());
        QVERIFY(toggle(window, "DVD löschen")->isEnabled());
        shoot(*alert, "alert");

        button(*alert, "Einstellungen…")->click();
        QTRY_VERIFY(!alert->isVisible());
        QVERIFY(!window.contentView().showMissingToolsAlert);
        QWidgetList settings;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<PreferencesView*>(top) && top->isVisible())
                settings << top;
        QCOMPARE(settings.size(), 1);
        settings.first()->close();
    }

    void settingsWindow() {
        PreferencesView preferences;
        preferences.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preferences));
        const auto mark = [&](const QString& tool) {
            return preferences.findChild<QLabel*>(tool + "Mark")->text();
        };
        QCOMPARE(mark("ffmpeg"), "✅");
        QCOMPARE(mark("hdiutil"), "✅");
        shoot(preferences, "settings");

        auto* ffmpeg = preferences.findChild<QLineEdit*>("ffmpeg");
        QTest::keyClicks(ffmpeg, " "); // a trailing blank is stored as typed
        QCOMPARE(StoredSettings().ffmpegPath(), "/usr/bin/ffmpeg ");
        QCOMPARE(mark("ffmpeg"), "✅"); // the marks wait for the next check
        button(preferences, "Tools prüfen")->click();
        QCOMPARE(mark("ffmpeg"), "❌");

        const QString plain = m_dir.filePath("plain");
        QFile(plain).open(QIODevice::WriteOnly);
        auto* dvdauthor = preferences.findChild<QLineEdit*>("dvdauthor");
        dvdauthor->clear();
        QTest::keyClicks(dvdauthor, plain);
        auto* hdiutil = preferences.findChild<QLineEdit*>("hdiutil");
        hdiutil->clear();
        QTest::keyClicks(hdiutil, m_dir.path());
        button(preferences, "Tools prüfen")->click();
        QCOMPARE(mark("dvdauthor"), "❌");
        QCOMPARE(mark("hdiutil"), "❌");

        button(preferences, "Standardpfade")->click();
        QCOMPARE(ffmpeg->text(), "/usr/bin/ffmpeg");
        QCOMPARE(dvdauthor->text(), "/usr/bin/dvdauthor");
        QCOMPARE(hdiutil->text(), QCoreApplication::applicationDirPath() + "/hdiutil");
        QCOMPARE(mark("ffmpeg"), "✅");
        QCOMPARE(mark("dvdauthor"), "✅");
        QCOMPARE(StoredSettings().dvdauthorPath(), "/usr/bin/dvdauthor");
    }

    void logButtonsReachTheMainWindow() {
        MainWindow window(m_files);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.contentView().appendLog("Fertig ✅ Probe");
        PreferencesView preferences;
        m_files.toSave = m_dir.filePath("Kestrin_Log.txt");
        button(preferences, "Log speichern…")->click();
        QFile saved(m_dir.filePath("Kestrin_Log.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), "Fertig ✅ Probe\n");
        QCOMPARE(m_files.lastProposal, "Kestrin_Log.txt");
        QTRY_COMPARE(window.findChild<QLabel*>("status")->text(), "Log gespeichert ✅");
        button(preferences, "Log leeren")->click();
        QTRY_COMPARE(window.findChild<QPlainTextEdit*>("log")->toPlainText(), "—");
    }

    void wholeRoadThroughClicks() {
        const QString disc = m_dir.filePath("disc.img");
        QFile(disc).open(QIODevice::WriteOnly);
        MainWindow window(m_files);
        window.contentView().service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        m_files.toOpen = m_clip;
        button(window, "Auswählen…")->click();
        toggle(window, "ISO → Brennen")->click();
        auto* field = window.findChild<QLineEdit*>("volumeName");
        field->clear();
        QTest::keyClicks(field, "Urlaub 2026 ");
        QCOMPARE(field->text(), "URLAUB 2026 "); // words can be typed one by one
        QTRY_VERIFY(window.findChild<StartButton*>("start")->isEnabled());
        QTest::mouseClick(window.findChild<StartButton*>("start"), Qt::LeftButton);
        QVERIFY2(window.contentView().isRunning(), qPrintable(window.contentView().statusText));
        QTRY_VERIFY_WITH_TIMEOUT(!window.contentView().isRunning(), 120000);
        QTRY_COMPARE(window.findChild<QLabel*>("status")->text(), "Fertig ✅");
        const QString iso = m_dir.filePath("Urlaub 2026_PAL_DVD_DVD.iso");
        QCOMPARE(window.contentView().isoURL, iso);
        const QString info = QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", iso}));
        QVERIFY2(info.contains("Volume id: URLAUB 2026"), qPrintable(info));
        QFile burnt(disc);
        QFile image(iso);
        QVERIFY(burnt.open(QIODevice::ReadOnly) && image.open(QIODevice::ReadOnly));
        QCOMPARE(burnt.readAll(), image.readAll());
        QTRY_VERIFY(window.findChild<QPlainTextEdit*>("log")->toPlainText().startsWith("Fertig ✅"));
        QVERIFY(button(window, "DVD brennen")->isEnabled());
        shoot(window, "main-done");
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
