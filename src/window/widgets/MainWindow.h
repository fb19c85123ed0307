#pragma once

#include "ContentView.h"
#include "platform/SleepInhibitor.h"

#include <QMainWindow>

class ElidedLabel;
class ElidingComboBox;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class StartButton;

// The main window: the widgets over a ContentView. It only binds the state to the widgets and
// the widgets' changes to the ContentView; the workflow itself lives there.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(FilePanels& filePanels, QWidget* parent = nullptr);

    ContentView& contentView() { return m_view; }

signals:
    void settingsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* fileBox(const QString& title, const QString& buttonText, ElidedLabel*& path,
                     QPushButton*& button);
    QWidget* chainToggles();
    QWidget* isoSection();
    QWidget* volumeNameRow();
    QWidget* optionsRow();
    QWidget* actionRow();
    QWidget* logBox();
    void buildMenu();
    void refresh();
    void refreshAudioPicker();
    void refreshDiscFill();
    void refreshSubtitlePickers(bool enabled);
    void showMissingToolsAlert();
    void tellDesktopRunEnded();

    ContentView m_view;
    // The machine stays awake from the start of a run to its end.
    SleepInhibitor m_awake;

    ElidedLabel* m_sourcePath = nullptr;
    QPushButton* m_chooseSource = nullptr;
    ElidedLabel* m_destinationPath = nullptr;
    QPushButton* m_chooseDestination = nullptr;
    QCheckBox* m_toVideoTS = nullptr;
    QCheckBox* m_toISO = nullptr;
    QCheckBox* m_toBurn = nullptr;
    QWidget* m_isoBody = nullptr;
    QLabel* m_isoMarker = nullptr;
    ElidedLabel* m_dvdFolderPath = nullptr;
    ElidedLabel* m_isoPath = nullptr;
    QPushButton* m_chooseISO = nullptr;
    QLineEdit* m_volumeName = nullptr;
    QButtonGroup* m_aspect = nullptr;
    ElidingComboBox* m_audio = nullptr;
    QToolButton* m_reloadAudio = nullptr;
    ElidingComboBox* m_subtitles = nullptr;
    ElidingComboBox* m_subtitlesShown = nullptr;
    QCheckBox* m_burnIn = nullptr;
    QComboBox* m_quality = nullptr;
    QComboBox* m_disc = nullptr;
    QProgressBar* m_fill = nullptr;
    QLabel* m_fillReason = nullptr;
    StartButton* m_start = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_abort = nullptr;
    QCheckBox* m_erase = nullptr;
    QCheckBox* m_verify = nullptr;
    QPushButton* m_videoTS = nullptr;
    QPushButton* m_iso = nullptr;
    QPushButton* m_burn = nullptr;
    QLabel* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QMessageBox* m_alert = nullptr;
    QString m_shownLog;
    bool m_sized = false;
};
