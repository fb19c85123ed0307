#include "KestrinApp.h"

#include "platform/GermanTranslations.h"

#include <QApplication>

KestrinApp::KestrinApp(QApplication& application)
    : m_mainWindow(std::make_unique<MainWindow>(m_filePanels)) {
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setQuitOnLastWindowClosed(true);
    installGermanTranslations(application);
    QObject::connect(&m_termination, &TerminationSignals::terminationRequested, &application,
                     &QApplication::quit);
    m_mainWindow->setAttribute(Qt::WA_QuitOnClose);
    QObject::connect(m_mainWindow.get(), &MainWindow::settingsRequested,
                     [this] { showSettingsWindow(); });
}

PreferencesView& KestrinApp::showSettingsWindow() {
    if (!m_preferences)
        m_preferences = std::make_unique<PreferencesView>();
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
    return *m_preferences;
}
