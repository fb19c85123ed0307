#pragma once

#include "platform/StoredSettings.h"

#include <QWidget>

class QLabel;
class QLineEdit;

// The settings window: the three tool paths with a mark whether each names an executable file,
// the standard locations on request, and the two log actions of the main window.
class PreferencesView : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesView(QWidget* parent = nullptr);

    void checkToolAvailability();
    void applyDefaultPaths();

    bool ffmpegAvailable = false;
    bool dvdauthorAvailable = false;
    bool genisoimageAvailable = false;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct ToolRow {
        QLineEdit* path;
        QLabel* mark;
        const SettingKey<QString>* key;
    };
    ToolRow toolRow(QLayout* column, const QString& name, const SettingKey<QString>& key);
    void showPaths();
    void showMarks();

    StoredSettings m_settings;
    ToolRow m_ffmpeg{};
    ToolRow m_dvdauthor{};
    ToolRow m_genisoimage{};
};
