#include "PreferencesView.h"

#include "platform/FileChecks.h"
#include "platform/LinuxDefaults.h"
#include "platform/Notifications.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* footnote(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

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
    m_ffmpeg = toolRow(toolColumn, QStringLiteral("ffmpeg"), m_settings.ffmpegPath(),
                       &StoredSettings::setFfmpegPath);
    m_dvdauthor = toolRow(toolColumn, QStringLiteral("dvdauthor"), m_settings.dvdauthorPath(),
                          &StoredSettings::setDvdauthorPath);
    m_hdiutil = toolRow(toolColumn, QStringLiteral("hdiutil"), m_settings.hdiutilPath(),
                        &StoredSettings::setHdiutilPath);
    auto* check = new QPushButton(QStringLiteral("Tools prüfen"));
    auto* defaults = new QPushButton(QStringLiteral("Standardpfade"));
    toolColumn->addLayout(buttonRow({check, defaults}));
    toolColumn->addWidget(
        footnote(QStringLiteral("Hinweis: dvdauthor via apt: sudo apt install dvdauthor")));
    column->addWidget(tools);

    auto* log = new QGroupBox(QStringLiteral("Log"));
    auto* logColumn = new QVBoxLayout(log);
    logColumn->setSpacing(10);
    logColumn->setContentsMargins(10, 14, 10, 14);
    auto* save = new QPushButton(QStringLiteral("Log speichern…"));
    auto* clear = new QPushButton(QStringLiteral("Log leeren"));
    logColumn->addLayout(buttonRow({save, clear}));
    logColumn->addWidget(
        footnote(QStringLiteral("Hinweis: Aktionen gelten für das Hauptfenster.")));
    column->addWidget(log);
    column->addStretch(1);

    connect(check, &QPushButton::clicked, this, &PreferencesView::checkToolAvailability);
    connect(defaults, &QPushButton::clicked, this, &PreferencesView::applyDefaultPaths);
    connect(save, &QPushButton::clicked,
            [] { Notifications::defaultCenter().post(NotificationName::logSave); });
    connect(clear, &QPushButton::clicked,
            [] { Notifications::defaultCenter().post(NotificationName::logClear); });
    showMarks();
}

PreferencesView::ToolRow PreferencesView::toolRow(QLayout* column, const QString& name,
                                                  const QString& path,
                                                  void (StoredSettings::*store)(const QString&)) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(name);
    label->setFixedWidth(90);
    auto* field = new QLineEdit(path);
    field->setObjectName(name);
    auto* mark = new QLabel;
    mark->setObjectName(name + QStringLiteral("Mark"));
    mark->setFixedWidth(24);
    mark->setAlignment(Qt::AlignCenter);
    row->addWidget(label);
    row->addWidget(field, 1);
    row->addWidget(mark);
    static_cast<QBoxLayout*>(column)->addLayout(row);
    // Stored on every keystroke, exactly as typed.
    connect(field, &QLineEdit::textEdited, this,
            [this, store](const QString& text) { (m_settings.*store)(text); });
    return {field, mark};
}

void PreferencesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showPaths();
    checkToolAvailability();
}

void PreferencesView::checkToolAvailability() {
    ffmpegAvailable = isExecutableFile(m_settings.ffmpegPath());
    dvdauthorAvailable = isExecutableFile(m_settings.dvdauthorPath());
    hdiutilAvailable = isExecutableFile(m_settings.hdiutilPath());
    showMarks();
}

void PreferencesView::applyDefaultPaths() {
    const bool inUsr = QFileInfo::exists(QStringLiteral("/usr/bin/ffmpeg"));
    const QString prefix = inUsr ? QStringLiteral("/usr/bin/") : QStringLiteral("/usr/local/bin/");
    m_settings.setFfmpegPath(prefix + QStringLiteral("ffmpeg"));
    m_settings.setDvdauthorPath(prefix + QStringLiteral("dvdauthor"));
    m_settings.setHdiutilPath(LinuxDefaults::hdiutilPath());
    showPaths();
    checkToolAvailability();
}

void PreferencesView::showPaths() {
    m_ffmpeg.path->setText(m_settings.ffmpegPath());
    m_dvdauthor.path->setText(m_settings.dvdauthorPath());
    m_hdiutil.path->setText(m_settings.hdiutilPath());
}

void PreferencesView::showMarks() {
    for (auto [row, available] :
         {std::pair{m_ffmpeg, ffmpegAvailable}, std::pair{m_dvdauthor, dvdauthorAvailable},
          std::pair{m_hdiutil, hdiutilAvailable}})
        row.mark->setText(available ? QStringLiteral("✅") : QStringLiteral("❌"));
}
