#include "PreferencesView.h"

#include "platform/FileChecks.h"
#include "platform/Notifications.h"
#include "widgets/Footnote.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QHBoxLayout* buttonRow(const QList<QPushButton*>& buttons) {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    for (QPushButton* button : buttons)
        row->addWidget(button);
    row->addStretch(1);
    return row;
}

} // namespace

PreferencesView::PreferencesView(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    setMinimumSize(760, 320);
    for (const QKeySequence& key :
         {QKeySequence(QKeySequence::Cancel), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* title = new QLabel(QStringLiteral("Einstellungen"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    title->setFont(titleFont);
    column->addWidget(title);

    auto* tools = new QGroupBox(QStringLiteral("Tools"));
    auto* toolColumn = new QVBoxLayout(tools);
    toolColumn->setSpacing(10);
    toolColumn->setContentsMargins(10, 14, 10, 14);
    m_ffmpeg = toolRow(toolColumn, QStringLiteral("ffmpeg"), Setting::ffmpegPath);
    m_dvdauthor = toolRow(toolColumn, QStringLiteral("dvdauthor"), Setting::dvdauthorPath);
    m_genisoimage = toolRow(toolColumn, QStringLiteral("genisoimage"), Setting::genisoimagePath);
    auto* check = new QPushButton(QStringLiteral("Tools &prüfen"));
    auto* defaults = new QPushButton(QStringLiteral("S&tandardpfade"));
    toolColumn->addLayout(buttonRow({check, defaults}));
    toolColumn->addWidget(footnote(QStringLiteral(
        "Hinweis: dvdauthor und genisoimage via apt: sudo apt install dvdauthor genisoimage")));
    column->addWidget(tools);

    auto* log = new QGroupBox(QStringLiteral("Log"));
    auto* logColumn = new QVBoxLayout(log);
    logColumn->setSpacing(10);
    logColumn->setContentsMargins(10, 14, 10, 14);
    auto* save = new QPushButton(QStringLiteral("Log &speichern…"));
    auto* clear = new QPushButton(QStringLiteral("Log &leeren"));
    logColumn->addLayout(buttonRow({save, clear}));
    logColumn->addWidget(
        footnote(QStringLiteral("Hinweis: Aktionen gelten für das Hauptfenster.")));
    column->addWidget(log);
    column->addStretch(1);

    connect(check, &QPushButton::clicked, this, [this] {
        checkToolAvailability();
        Notifications::defaultCenter().post(NotificationName::toolsCheck);
    });
    connect(defaults, &QPushButton::clicked, this, &PreferencesView::applyDefaultPaths);
    connect(save, &QPushButton::clicked,
            [] { Notifications::defaultCenter().post(NotificationName::logSave); });
    connect(clear, &QPushButton::clicked,
            [] { Notifications::defaultCenter().post(NotificationName::logClear); });
    showMarks();
}

PreferencesView::ToolRow PreferencesView::toolRow(QLayout* column, const QString& name,
                                                  const SettingKey<QString>& key) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(name);
    label->setFixedWidth(90);
    auto* field = new QLineEdit(m_settings.value(key));
    field->setObjectName(name);
    // A screen reader reads the path out by its tool's name.
    label->setBuddy(field);
    field->setAccessibleName(name);
    auto* mark = new QLabel;
    mark->setObjectName(name + QStringLiteral("Mark"));
    mark->setFixedWidth(24);
    mark->setAlignment(Qt::AlignCenter);
    row->addWidget(label);
    row->addWidget(field, 1);
    row->addWidget(mark);
    static_cast<QBoxLayout*>(column)->addLayout(row);
    // Stored on every change, exactly as typed, whatever changed it: a keystroke, a paste, or an
    // assistive technology.
    connect(field, &QLineEdit::textChanged, this,
            [this, &key](const QString& text) { m_settings.setValue(key, text); });
    return {field, mark, &key};
}

void PreferencesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showPaths();
    checkToolAvailability();
}

void PreferencesView::checkToolAvailability() {
    ffmpegAvailable = isExecutableFile(m_settings.value(Setting::ffmpegPath));
    dvdauthorAvailable = isExecutableFile(m_settings.value(Setting::dvdauthorPath));
    genisoimageAvailable = isExecutableFile(m_settings.value(Setting::genisoimagePath));
    showMarks();
}

void PreferencesView::applyDefaultPaths() {
    const bool inUsr = QFileInfo::exists(QStringLiteral("/usr/bin/ffmpeg"));
    const QString prefix = inUsr ? QStringLiteral("/usr/bin/") : QStringLiteral("/usr/local/bin/");
    m_settings.setValue(Setting::ffmpegPath, prefix + QStringLiteral("ffmpeg"));
    m_settings.setValue(Setting::dvdauthorPath, prefix + QStringLiteral("dvdauthor"));
    m_settings.setValue(Setting::genisoimagePath, prefix + QStringLiteral("genisoimage"));
    showPaths();
    checkToolAvailability();
}

// Shows the stored paths without storing them again: a path that was never stored keeps
// following its default.
void PreferencesView::showPaths() {
    for (const ToolRow& row : {m_ffmpeg, m_dvdauthor, m_genisoimage}) {
        const QSignalBlocker blocker(row.path);
        row.path->setText(m_settings.value(*row.key));
    }
}

void PreferencesView::showMarks() {
    for (auto [row, available] :
         {std::pair{m_ffmpeg, ffmpegAvailable}, std::pair{m_dvdauthor, dvdauthorAvailable},
          std::pair{m_genisoimage, genisoimageAvailable}})
        row.mark->setText(available ? QStringLiteral("✅") : QStringLiteral("❌"));
}
