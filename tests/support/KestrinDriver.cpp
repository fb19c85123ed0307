// Kestrin as the application is, encoding SOURCE into the MPEG file proposed beside it at once,
// for tests that end the whole program from outside and look at what it leaves behind:
//
//   kestrin_driver SOURCE
//
// The tool paths come from the stored settings, as in the application.
#include "KestrinApp.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    KestrinApp kestrin(app);
    kestrin.mainWindow().show();
    ContentView& view = kestrin.mainWindow().contentView();
    QTimer::singleShot(0, &view, [&] {
        view.applySource(QString::fromLocal8Bit(argv[1]));
        view.setCreateVideoTSAfterConvert(false);
        view.startConversion();
    });
    return app.exec();
}
