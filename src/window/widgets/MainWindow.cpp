#include "MainWindow.h"

#include "ElidedLabel.h"
#include "ElidingComboBox.h"
#include "Footnote.h"
#include "StartButton.h"
#include "inputs/AudioChoice.h"
#include "inputs/ControlStates.h"
#include "inputs/DiscChoice.h"
#include "inputs/VolumeName.h"

#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <tuple>

namespace {

constexpr int contentWidth = 940;
constexpr int preferredHeight = 760;
// What a window manager takes for the title bar and the borders: the window opens no taller
// than the screen's free height less this.
constexpr int frameAllowance = 40;

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QWidget* wrap(QLayout* layout) {
    auto* widget = new QWidget;
    widget->setLayout(layout);
    return widget;
}

// A picker's entries (label, stored value) with the stored one chosen, the first without it.
// Rebuilt only when the entries changed, so that an open list stays open.
void showEntries(QComboBox& picker, const QList<std::pair<QString, int>>& entries, int stored) {
    const QSignalBlocker blocker(picker);
    bool same = picker.count() == entries.size();
    for (int i = 0; same && i < entries.size(); ++i)
        same = picker.itemText(i) == entries[i].first && picker.itemData(i) == entries[i].second;
    if (!same) {
        picker.clear();
        for (const auto& [label, value] : entries)
            picker.addItem(label, value);
    }
    picker.setCurrentIndex(std::max(0, picker.findData(stored)));
}

} // namespace

MainWindow::MainWindow(FilePanels& filePanels, QWidget* parent)
    : QMainWindow(parent)
    , m_view(filePanels) {
    setWindowTitle(QStringLiteral("Kestrin"));
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(6);
    column->addWidget(fileBox(QStringLiteral("Quelle"), QStringLiteral("Aus&wählen…"), m_sourcePath,
                              m_chooseSource));
    column->addWidget(fileBox(QStringLiteral("Ziel (PAL-DVD MPG)"),
                              QStringLiteral("&Speichern als…"), m_destinationPath,
                              m_chooseDestination));
    column->addWidget(chainToggles());
    column->addWidget(isoSection());
    auto* inputs = new QVBoxLayout;
    inputs->setSpacing(6);
    inputs->addWidget(volumeNameRow());
    inputs->addWidget(optionsRow());
    column->addLayout(inputs);
    column->addWidget(actionRow());
    m_status = footnote(QString());
    m_status->setObjectName("status");
    column->addWidget(m_status);
    // The log takes whatever height the window has beyond the controls.
    column->addWidget(logBox(), 1);
    // On a screen too small even for that, the controls scroll instead of being cut off.
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    setCentralWidget(scroll);
    buildMenu();
    m_volumeName->installEventFilter(this);

    connect(m_chooseSource, &QPushButton::clicked, &m_view, &ContentView::chooseSource);
    connect(m_chooseDestination, &QPushButton::clicked, &m_view, &ContentView::chooseDestination);
    connect(&m_view, &ContentView::changed, this, &MainWindow::refresh);
    connect(&m_view, &ContentView::runEnded, this, &MainWindow::tellDesktopRunEnded);
    setAcceptDrops(true);
    refresh();
}

QWidget* MainWindow::fileBox(const QString& title, const QString& buttonText, ElidedLabel*& path,
                             QPushButton*& button) {
    auto* box = new QGroupBox(title);
    auto* layout = row(8);
    path = new ElidedLabel;
    button = new QPushButton(buttonText);
    layout->addWidget(path, 1);
    layout->addWidget(button);
    box->setLayout(layout);
    return box;
}

QWidget* MainWindow::chainToggles() {
    auto* layout = row(18);
    m_toVideoTS = new QCheckBox(QStringLiteral("&MPG → VIDEO_TS"));
    m_toISO = new QCheckBox(QStringLiteral("VIDEO_TS → &ISO"));
    m_toBurn = new QCheckBox(QStringLiteral("ISO → B&rennen"));
    layout->addStretch(1);
    for (QCheckBox* toggle : {m_toVideoTS, m_toISO, m_toBurn})
        layout->addWidget(toggle);
    layout->addStretch(1);
    connect(m_toVideoTS, &QCheckBox::toggled, &m_view, &ContentView::setCreateVideoTSAfterConvert);
    connect(m_toISO, &QCheckBox::toggled, &m_view, &ContentView::setCreateISOAfterVideoTS);
    connect(m_toBurn, &QCheckBox::toggled, &m_view, &ContentView::setBurnAfterISO);
    return wrap(layout);
}

QWidget* MainWindow::isoSection() {
    auto* section = new QFrame;
    section->setObjectName("isoSection");
    section->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    section->setAutoFillBackground(true);
    section->setStyleSheet(
        QStringLiteral("QFrame#isoSection { background: palette(base); border-radius: 8px; }"));
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(10, 4, 10, 4);
    layout->setSpacing(0);

    auto* header = new QPushButton;
    header->setObjectName("isoHeader");
    header->setAccessibleName(QStringLiteral("ISO & Brennen"));
    header->setFlat(true);
    header->setCursor(Qt::PointingHandCursor);
    auto* headerRow = row(0);
    headerRow->addWidget(new QLabel(QStringLiteral("ISO & Brennen")));
    headerRow->addStretch(1);
    m_isoMarker = new QLabel;
    m_isoMarker->setForegroundRole(QPalette::PlaceholderText);
    headerRow->addWidget(m_isoMarker);
    header->setLayout(headerRow);
    header->setMinimumHeight(headerRow->sizeHint().height());
    layout->addWidget(header);
    connect(header, &QPushButton::clicked, &m_view, &ContentView::toggleIsoSection);

    m_isoBody = new QWidget;
    auto* body = new QVBoxLayout(m_isoBody);
    body->setContentsMargins(0, 4, 0, 0);
    body->setSpacing(4);
    const auto pathRow = [](const QString& label, ElidedLabel*& path) {
        auto* layout = row(8);
        auto* caption = new QLabel(label);
        caption->setFixedWidth(90);
        path = new ElidedLabel;
        path->setMaximumWidth(480);
        layout->addWidget(caption);
        layout->addWidget(path, 1);
        return layout;
    };
    const auto closeRow = [](QHBoxLayout* layout) {
        layout->addStretch(1);
        return layout;
    };
    body->addLayout(closeRow(pathRow(QStringLiteral("DVD-Ordner:"), m_dvdFolderPath)));
    auto* isoRow = pathRow(QStringLiteral("ISO-Ziel:"), m_isoPath);
    m_chooseISO = new QPushButton(QStringLiteral("Wä&hlen…"));
    isoRow->addWidget(m_chooseISO);
    isoRow->addStretch(1);
    body->addLayout(isoRow);
    body->addWidget(
        footnote(QStringLiteral("Hinweis: Zum Brennen muss ein beschreibbarer Rohling im Laufwerk "
                                "liegen.")));
    layout->addWidget(m_isoBody);
    connect(m_chooseISO, &QPushButton::clicked, &m_view, &ContentView::chooseISODestination);
    return section;
}

QWidget* MainWindow::volumeNameRow() {
    auto* layout = row(12);
    m_volumeName = new QLineEdit;
    m_volumeName->setObjectName("volumeName");
    m_volumeName->setFixedWidth(420);
    m_volumeName->setPlaceholderText(QStringLiteral("DVD_VIDEO"));
    m_volumeName->setAccessibleName(QStringLiteral("DVD Name"));
    auto* label = new QLabel(QStringLiteral("DVD &Name:"));
    label->setBuddy(m_volumeName);
    layout->addStretch(1);
    layout->addWidget(label);
    layout->addWidget(m_volumeName);
    layout->addStretch(1);
    connect(m_volumeName, &QLineEdit::textChanged, this, [this](const QString& text) {
        const VolumeNameEdit edit = editVolumeName(text, m_volumeName->cursorPosition());
        if (edit.shown != text) {
            // The replacement comes back here once more and changes nothing then.
            m_volumeName->setText(edit.shown);
            m_volumeName->setCursorPosition(edit.cursor);
            return;
        }
        m_view.setIsoVolumeName(text);
    });
    connect(m_volumeName, &QLineEdit::editingFinished, this,
            [this] { m_volumeName->setText(m_view.isoVolumeName()); });
    return wrap(layout);
}

QWidget* MainWindow::optionsRow() {
    // Each caption's mnemonic moves the focus to the first control under it.
    const auto optionColumn = [](const QString& caption, QWidget* control, QWidget* buddy,
                                 int width = 220) {
        auto* column = new QVBoxLayout;
        column->setSpacing(4);
        column->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(caption);
        label->setBuddy(buddy);
        column->addWidget(label, 0, Qt::AlignHCenter);
        column->addWidget(control, 0, Qt::AlignHCenter);
        auto* widget = wrap(column);
        widget->setFixedWidth(width);
        return widget;
    };

    auto* aspect = row(0);
    m_aspect = new QButtonGroup(this);
    const QStringList modes{QStringLiteral("Auto"), QStringLiteral("16:9"), QStringLiteral("4:3")};
    for (int mode = 0; mode < modes.size(); ++mode) {
        auto* button = new QPushButton(modes[mode]);
        button->setCheckable(true);
        m_aspect->addButton(button, mode);
        aspect->addWidget(button);
    }
    // Every choice is stored from the control's own change signal, whatever changed it: a click,
    // a key, or an assistive technology.
    connect(m_aspect, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
        if (checked)
            m_view.settings().setValue(Setting::aspectMode, mode);
    });

    auto* audio = row(6);
    m_audio = new ElidingComboBox;
    m_audio->setObjectName("audio");
    m_audio->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_audio->setMaximumWidth(180);
    m_reloadAudio = new QToolButton;
    m_reloadAudio->setText(QStringLiteral("↻"));
    m_reloadAudio->setAutoRaise(true);
    m_reloadAudio->setToolTip(QStringLiteral("Audio-Spuren neu einlesen"));
    audio->addWidget(m_audio);
    audio->addWidget(m_reloadAudio);
    connect(m_audio, &QComboBox::currentIndexChanged, this, [this](int item) {
        const int stream = m_audio->itemData(item).toInt();
        if (item >= 0 && stream != -2)
            m_view.settings().setValue(Setting::audioStreamIndex, stream);
    });
    connect(m_reloadAudio, &QToolButton::clicked, &m_view, &ContentView::startReloadAudioStreams);

    auto* subtitles = row(6);
    for (auto [picker, name, key] :
         {std::tuple{&m_subtitles, "subtitles", &Setting::subtitleTracks},
          std::tuple{&m_subtitlesShown, "subtitlesShown", &Setting::subtitleShown}}) {
        *picker = new ElidingComboBox;
        (*picker)->setObjectName(name);
        (*picker)->setMaximumWidth(105);
        subtitles->addWidget(*picker);
        connect(*picker, &QComboBox::currentIndexChanged, this, [this, picker, key](int item) {
            if (item >= 0)
                m_view.settings().setValue(*key, (*picker)->itemData(item).toInt());
        });
    }
    m_subtitlesShown->setToolTip(
        QStringLiteral("Anzeigen: die Spur, die der Player von Anfang an zeigt"));
    m_subtitles->setAccessibleName(QStringLiteral("Untertitel-Spuren"));
    m_subtitlesShown->setAccessibleName(QStringLiteral("Untertitel anzeigen"));
    m_burnIn = new QCheckBox(QStringLiteral("&Einbrennen"));
    m_burnIn->setAccessibleName(QStringLiteral("Untertitel einbrennen"));
    m_burnIn->setToolTip(QStringLiteral("Einbrennen: die gewählte Spur ins Bild zeichnen, für "
                                        "Player, die keine DVD-Untertitel zeigen"));
    connect(m_burnIn, &QCheckBox::toggled, this,
            [this](bool on) { m_view.settings().setValue(Setting::subtitleBurnIn, on); });
    auto* subtitleColumn = new QVBoxLayout;
    subtitleColumn->setSpacing(4);
    subtitleColumn->setContentsMargins(0, 0, 0, 0);
    subtitleColumn->addLayout(subtitles);
    subtitleColumn->addWidget(m_burnIn, 0, Qt::AlignHCenter);

    m_quality = new QComboBox;
    m_quality->setObjectName("quality");
    m_quality->addItems({QStringLiteral("Standard"), QStringLiteral("High"), QStringLiteral("Max"),
                         QStringLiteral("Passend")});
    m_quality->setFixedWidth(110);
    connect(m_quality, &QComboBox::currentIndexChanged, this,
            [this](int preset) { m_view.settings().setValue(Setting::qualityPreset, preset); });
    m_disc = new QComboBox;
    m_disc->setObjectName("disc");
    m_disc->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_disc->addItems(discChoiceLabels());
    connect(m_disc, &QComboBox::currentIndexChanged, this,
            [this](int disc) { m_view.settings().setValue(Setting::discSize, disc); });
    auto* pickers = row(6);
    pickers->addWidget(m_quality);
    pickers->addWidget(m_disc);
    // The disc at a glance: how full the chosen disc gets, and why a burn would be refused.
    m_fill = new QProgressBar;
    m_fill->setObjectName("discFill");
    m_fill->setAccessibleName(QStringLiteral("Füllstand der DVD"));
    m_fill->setTextVisible(true);
    m_fill->setFixedHeight(18);
    m_fill->setFixedWidth(270);
    m_fillReason = new QLabel;
    m_fillReason->setObjectName("discFillReason");
    m_fillReason->setWordWrap(true);
    m_fillReason->setFixedWidth(270);
    m_fillReason->setStyleSheet(QStringLiteral("color: #b3261e; font-size: 11px;"));
    auto* quality = new QVBoxLayout;
    quality->setSpacing(4);
    quality->setContentsMargins(0, 0, 0, 0);
    quality->addLayout(pickers);
    quality->addWidget(m_fill);
    quality->addWidget(m_fillReason);

    auto* layout = row(0);
    // The captions in one line, however tall the columns under them.
    const auto addColumn = [layout](QWidget* column) {
        layout->addStretch(1);
        layout->addWidget(column, 0, Qt::AlignTop);
    };
    addColumn(optionColumn(QStringLiteral("&Bild:"), wrap(aspect), m_aspect->button(0), 180));
    addColumn(optionColumn(QStringLiteral("&Audio"), wrap(audio), m_audio, 210));
    addColumn(optionColumn(QStringLiteral("&Untertitel"), wrap(subtitleColumn), m_subtitles, 220));
    // Wider than the others: it holds the disc size beside the quality.
    addColumn(optionColumn(QStringLiteral("&Qualität"), wrap(quality), m_quality, 280));
    layout->addStretch(1);
    return wrap(layout);
}

QWidget* MainWindow::actionRow() {
    m_start = new StartButton;
    m_start->setObjectName("start");
    m_pause = new QPushButton;
    m_abort = new QPushButton(QStringLiteral("Abbre&chen"));
    auto* controls = row(8);
    controls->addStretch(1);
    controls->addWidget(m_pause);
    controls->addWidget(m_abort);
    controls->addStretch(1);
    // The progress in a readable size, not only as the button's pale fill.
    m_progress = new QLabel;
    m_progress->setObjectName("progress");
    m_progress->setAlignment(Qt::AlignCenter);
    QFont bold = m_progress->font();
    bold.setBold(true);
    m_progress->setFont(bold);
    auto* startColumn = new QVBoxLayout;
    startColumn->setSpacing(4);
    startColumn->addWidget(m_start);
    startColumn->addWidget(m_progress);
    startColumn->addLayout(controls);

    m_erase = new QCheckBox(QStringLiteral("DVD &löschen"));
    m_verify = new QCheckBox(QStringLiteral("Brennprüfun&g"));
    auto* options = new QVBoxLayout;
    options->setSpacing(4);
    options->addStretch(1);
    options->addWidget(m_erase);
    options->addWidget(m_verify);
    options->addStretch(1);

    m_videoTS = new QPushButton(QStringLiteral("&VIDEO_TS erstellen"));
    m_iso = new QPushButton(QStringLiteral("IS&O erstellen"));
    m_burn = new QPushButton(QStringLiteral("&DVD brennen"));
    auto* stages = row(8);
    for (QPushButton* button : {m_videoTS, m_iso, m_burn})
        stages->addWidget(button);

    auto* layout = row(12);
    layout->addLayout(startColumn);
    layout->addStretch(1);
    layout->addLayout(options);
    layout->addLayout(stages);

    connect(m_start, &StartButton::clicked, &m_view, &ContentView::startConversion);
    // Return starts the conversion whenever the start button may be used.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [this] {
            if (m_start->isEnabled())
                m_start->click();
        });
    connect(m_pause, &QPushButton::clicked, &m_view, &ContentView::togglePause);
    connect(m_abort, &QPushButton::clicked, &m_view, &ContentView::abortRun);
    connect(m_erase, &QCheckBox::toggled, this,
            [this](bool on) { m_view.settings().setValue(Setting::eraseBeforeBurn, on); });
    connect(m_verify, &QCheckBox::toggled, this,
            [this](bool on) { m_view.settings().setValue(Setting::verifyAfterBurn, on); });
    connect(m_videoTS, &QPushButton::clicked, &m_view, &ContentView::startVideoTSRun);
    connect(m_iso, &QPushButton::clicked, &m_view, &ContentView::startISORun);
    connect(m_burn, &QPushButton::clicked, &m_view, &ContentView::startBurnRun);
    return wrap(layout);
}

QWidget* MainWindow::logBox() {
    auto* box = new QGroupBox(QStringLiteral("Log"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 4, 6, 6);
    m_log = new QPlainTextEdit;
    m_log->setObjectName("log");
    m_log->setReadOnly(true);
    m_log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_log->setMinimumHeight(60);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF() * 0.85);
    m_log->setFont(mono);
    layout->addWidget(m_log);
    return box;
}

void MainWindow::buildMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Kestrin"));
    // F10 opens the menu, as in other desktop programs.
    connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this,
            [this, menu] { menuBar()->setActiveAction(menu->menuAction()); });
    QAction* settings = menu->addAction(QStringLiteral("&Einstellungen…"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, &MainWindow::settingsRequested);
    QAction* quit = menu->addAction(QStringLiteral("&Beenden"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
}

// Opens at its preferred size where the screen has room, else as large as the screen allows.
void MainWindow::showEvent(QShowEvent* event) {
    if (!m_sized) {
        m_sized = true;
        const QSize room = screen()->availableGeometry().size() - QSize(0, frameAllowance);
        resize(QSize(contentWidth, preferredHeight).boundedTo(room));
    }
    QMainWindow::showEvent(event);
    m_view.checkTools();
    if (m_view.showMissingToolsAlert())
        showMissingToolsAlert();
}

// Return in a text field confirms the field: the field takes the key before the shortcut that
// starts the conversion.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            event->accept();
    }
    return QMainWindow::eventFilter(watched, event);
}

// A tool installed or a path corrected while Kestrin was in the background counts at once.
void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_view.recheckTools();
}

// A video dropped onto the window becomes the source while no run is active.
void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_view.isRunning() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    m_view.openSource(event->mimeData()->urls());
    event->acceptProposedAction();
}

// Whoever is busy elsewhere learns from the desktop that the DVD is done, or why not.
void MainWindow::tellDesktopRunEnded() {
    if (!isActiveWindow())
        DesktopNotifier().notify(DesktopIdentity::appName, m_view.statusText());
}

void MainWindow::showMissingToolsAlert() {
    if (!m_alert) {
        m_alert = new QMessageBox(this);
        m_alert->setObjectName("missingToolsAlert");
        m_alert->setIcon(QMessageBox::Warning);
        m_alert->setWindowTitle(QStringLiteral("Benötigte Tools fehlen"));
        m_alert->setText(QStringLiteral("Benötigte Tools fehlen"));
        QPushButton* quit =
            m_alert->addButton(QStringLiteral("Beenden"), QMessageBox::DestructiveRole);
        QPushButton* settings =
            m_alert->addButton(QStringLiteral("Einstellungen…"), QMessageBox::AcceptRole);
        // Escape only closes the alert: the window stays, disabled until the tools are found.
        m_alert->setEscapeButton(
            m_alert->addButton(QStringLiteral("Schließen"), QMessageBox::RejectRole));
        connect(quit, &QPushButton::clicked, qApp, &QApplication::quit, Qt::QueuedConnection);
        connect(settings, &QPushButton::clicked, this, &MainWindow::settingsRequested);
        connect(m_alert, &QMessageBox::finished, &m_view, &ContentView::dismissMissingToolsAlert);
    }
    m_alert->setInformativeText(m_view.missingToolsMessage());
    m_alert->open();
}

void MainWindow::refreshDiscFill() {
    const std::optional<DiscFill> fill = m_view.discFill();
    m_fill->setVisible(fill.has_value());
    m_fillReason->setVisible(fill && fill->overflow);
    if (!fill)
        return;
    m_fill->setRange(0, 100);
    m_fill->setValue(std::clamp(fill->percent, 0, 100));
    m_fill->setFormat(fill->text);
    m_fillReason->setText(fill->overflow.value_or(QString()));
    // Over the disc the meter turns to the warning colour.
    m_fill->setStyleSheet(fill->overflow
                              ? QStringLiteral("QProgressBar::chunk { background: #d93025; }")
                              : QString());
}

void MainWindow::refreshAudioPicker() {
    QList<std::pair<QString, int>> entries{{QStringLiteral("Auto"), -1}};
    if (m_view.audioStreams().size() > 1)
        entries.append({QStringLiteral("Alle Spuren"), allAudioStreamsChoice});
    if (m_view.isLoadingAudioStreams())
        entries.append({QStringLiteral("Lade…"), -2});
    for (const AudioStreamInfo& stream : m_view.audioStreams())
        entries.append({displayLabel(stream), stream.index});

    showEntries(*m_audio, entries, m_view.settings().value(Setting::audioStreamIndex));
    m_audio->setToolTip(m_audio->currentText());
}

// "Keine", "Alle Spuren" or one track, and the track shown from the start ("Anzeigen").
void MainWindow::refreshSubtitlePickers(bool enabled) {
    const QList<SubtitleTrack>& tracks = m_view.subtitleTracks();
    for (auto [picker, key] : {std::pair{m_subtitles, &Setting::subtitleTracks},
                               std::pair{m_subtitlesShown, &Setting::subtitleShown}}) {
        QList<std::pair<QString, int>> entries{
            {QStringLiteral("Keine"), picker == m_subtitles ? -2 : -1}};
        if (picker == m_subtitles)
            entries.append({QStringLiteral("Alle Spuren"), -1});
        for (int i = 0; i < tracks.size(); ++i)
            entries.append({tracks[i].label(i + 1), i});
        showEntries(*picker, entries, m_view.settings().value(*key));
        picker->setEnabled(enabled && !tracks.isEmpty());
    }
    const QSignalBlocker blocker(m_burnIn);
    m_burnIn->setChecked(m_view.settings().value(Setting::subtitleBurnIn));
    const SubtitleChoice choice =
        subtitleChoiceFor(m_view.settings().value(Setting::subtitleTracks),
                          m_view.settings().value(Setting::subtitleShown));
    m_burnIn->setEnabled(enabled && !tracks.isEmpty() && burntSubtitleFor(choice).has_value());
}

void MainWindow::refresh() {
    const ContentView& v = m_view;
    const bool running = v.isRunning();
    const bool expanded = v.settings().value(Setting::isoSectionExpanded);
    const ControlStates enabled =
        controlStates({v.toolsOK(), running, v.canPause(), bool(v.sourceURL()),
                       bool(v.destinationURL()), bool(v.dvdFolderURL()), bool(v.isoURL())});

    m_sourcePath->setFullText(v.sourceURL().value_or(QStringLiteral("Keine Datei gewählt")));
    m_chooseSource->setEnabled(enabled.chooseSource);
    m_destinationPath->setFullText(
        v.destinationURL().value_or(QStringLiteral("Kein Ziel gewählt")));
    m_chooseDestination->setEnabled(enabled.chooseDestination);

    for (auto [toggle, on] :
         {std::pair{m_toVideoTS, v.createVideoTSAfterConvert()},
          std::pair{m_toISO, v.createISOAfterVideoTS()}, std::pair{m_toBurn, v.burnAfterISO()}}) {
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(on);
    }
    m_toISO->setEnabled(v.createVideoTSAfterConvert());
    m_toBurn->setEnabled(v.createVideoTSAfterConvert() && v.createISOAfterVideoTS());

    m_isoBody->setVisible(expanded);
    m_isoMarker->setText(expanded ? QStringLiteral("▲") : QStringLiteral("▼"));
    m_dvdFolderPath->setFullText(v.dvdFolderURL().value_or(QStringLiteral("—")));
    m_isoPath->setFullText(v.isoURL().value_or(QStringLiteral("—")));
    m_chooseISO->setEnabled(enabled.chooseISO);

    if (sanitizeVolumeName(m_volumeName->text()) != v.isoVolumeName()) {
        const QSignalBlocker blocker(m_volumeName);
        m_volumeName->setText(v.isoVolumeName());
    }

    {
        const QSignalBlocker blocker(m_aspect);
        QAbstractButton* mode = m_aspect->button(v.settings().value(Setting::aspectMode));
        (mode ? mode : m_aspect->button(0))->setChecked(true);
    }
    for (QAbstractButton* button : m_aspect->buttons())
        button->setEnabled(enabled.options);
    refreshAudioPicker();
    m_audio->setEnabled(enabled.options);
    m_reloadAudio->setEnabled(enabled.reloadAudio);
    refreshSubtitlePickers(enabled.options);
    {
        const QSignalBlocker blocker(m_quality);
        const int preset = v.settings().value(Setting::qualityPreset);
        m_quality->setCurrentIndex(preset >= 0 && preset < m_quality->count() ? preset : 0);
    }
    m_quality->setEnabled(enabled.options);
    {
        const QSignalBlocker blocker(m_disc);
        m_disc->setCurrentIndex(discChoiceIndex(v.settings().value(Setting::discSize)));
    }
    m_disc->setEnabled(enabled.options);
    refreshDiscFill();

    m_start->setTitle(running ? v.currentPhaseLabel() : QStringLiteral("Start"));
    m_start->setRunState(running, v.progress());
    m_start->setEnabled(enabled.start);
    m_progress->setText(running ? progressLine(v.currentPhaseLabel(), v.progress(), v.expectedEnd())
                                : QString());
    m_pause->setText(v.isPaused() ? QStringLiteral("&Fortsetzen") : QStringLiteral("&Pause"));
    m_pause->setEnabled(enabled.pause);
    m_abort->setEnabled(enabled.abort);
    for (auto [toggle, on] : {std::pair{m_erase, v.settings().value(Setting::eraseBeforeBurn)},
                              std::pair{m_verify, v.settings().value(Setting::verifyAfterBurn)}}) {
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(on);
        toggle->setEnabled(enabled.burnOptions);
    }
    m_videoTS->setEnabled(enabled.videoTS);
    m_iso->setEnabled(enabled.image);
    m_burn->setEnabled(enabled.burn);

    m_status->setText(v.statusText());
    // A run refused for a tool that has gone says so as the start does.
    if (v.showMissingToolsAlert() && isVisible() && !(m_alert && m_alert->isVisible()))
        showMissingToolsAlert();
    setWindowTitle(running ? QStringLiteral("%1 % – Kestrin").arg(qRound(v.progress() * 100))
                           : QStringLiteral("Kestrin"));
    running ? m_awake.hold() : m_awake.release();
    const QString log = v.logText().isEmpty() ? QStringLiteral("—") : v.logText();
    if (log != m_shownLog) {
        m_shownLog = log;
        m_log->setPlainText(log);
    }
}
