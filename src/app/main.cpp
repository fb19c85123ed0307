#include "KestrinApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    KestrinApp kestrin(app);
    kestrin.mainWindow().show();
    return app.exec();
}
