#include "KestrinApp.h"

#include "platform/DesktopIdentity.h"
#include "platform/GermanTranslations.h"

#include <QApplication>
#include <QDir>

KestrinApp::KestrinApp(QApplication& application)
    : m_mainWindow(std::make_unique<MainWindow>(m_filePanels)) {
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    // Ties the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(DesktopIdentity::id);
    QApplication::setQuitOnLastWindowClosed(true);
    installGermanTranslations(application);
    QObject::connect(&m_termination, &TerminationSignals::terminationRequested, &application,
                     &QApplication::quit);
    m_mainWindow->setAttribute(Qt::WA_QuitOnClose);
    QObject::connect(m_mainWindow.get(), &MainWindow::settingsRequested,
                     [this] { showSettingsWindow(); });
}

void KestrinApp::openFiles(const QStringList& arguments) {
    if (arguments.isEmpty())
        return;
    QList<QUrl> files;
    for (const QString& argument : arguments)
        files << QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
    m_mainWindow->contentView().openSource(files);
}

PreferencesView& KestrinApp::showSettingsWindow() {
    if (!m_preferences)
        m_preferences = std::make_unique<PreferencesView>();
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
    return *m_preferences;
}
