#include <QApplication>
#include <QLabel>

// Until the main window exists, the application shows a placeholder that says so.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QLabel placeholder(QStringLiteral("Kestrin – das Hauptfenster ist noch in Arbeit."));
    placeholder.setMargin(40);
    placeholder.show();
    return app.exec();
}
