#pragma once

#include "MainWindow.h"
#include "PreferencesView.h"
#include "platform/DialogFilePanels.h"

#include <memory>

// The application: the main window, and the settings window it opens on request. Closing the
// last window ends the program.
class KestrinApp {
public:
    KestrinApp();

    MainWindow& mainWindow() { return *m_mainWindow; }
    PreferencesView& showSettingsWindow();

private:
    DialogFilePanels m_filePanels;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<PreferencesView> m_preferences;
};
