#include "KestrinApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    KestrinApp kestrin(app);
    kestrin.mainWindow().show();
    // After the tools check that showing the window runs, so the audio streams are read.
    kestrin.openFiles(QApplication::arguments().mid(1));
    return app.exec();
}
