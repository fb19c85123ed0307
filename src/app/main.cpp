#include "KestrinApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setQuitOnLastWindowClosed(true);
    KestrinApp kestrin;
    kestrin.mainWindow().show();
    return app.exec();
}
