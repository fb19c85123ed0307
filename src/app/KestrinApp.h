#pragma once

#include "MainWindow.h"
#include "PreferencesView.h"
#include "platform/DialogFilePanels.h"
#include "platform/TerminationSignals.h"

#include <memory>

class QApplication;

// The application: the main window, and the settings window it opens on request. Qt's own texts
// are German. Closing the last window ends the program; so do "Beenden" and SIGTERM, SIGINT and
// SIGHUP, which all end a run and its tools on the way out.
class KestrinApp {
public:
    explicit KestrinApp(QApplication& application);

    MainWindow& mainWindow() { return *m_mainWindow; }
    // The files named on the command line (kestrin FILE): a video becomes the source as if it
    // had been chosen in the panel.
    void openFiles(const QStringList& arguments);
    PreferencesView& showSettingsWindow();

private:
    TerminationSignals m_termination;
    DialogFilePanels m_filePanels;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<PreferencesView> m_preferences;
};
