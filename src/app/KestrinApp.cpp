#include "KestrinApp.h"

#include "platform/DesktopIdentity.h"
#include "platform/GermanTranslations.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

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
    ContentView& view = m_mainWindow->contentView();
    if (view.openSource(files, SourceOrigin::commandLine))
        return;
    // Whoever named a file wants to know at once why it is not taken.
    auto* refusal = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kestrin"),
                                    view.statusText(), QMessageBox::Ok, m_mainWindow.get());
    refusal->setObjectName("sourceRefusal");
    refusal->setAttribute(Qt::WA_DeleteOnClose);
    refusal->open();
}

PreferencesView& KestrinApp::showSettingsWindow() {
    if (!m_preferences)
        m_preferences = std::make_unique<PreferencesView>();
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
    return *m_preferences;
}
