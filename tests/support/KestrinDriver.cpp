// Kestrin as the application is, with a run started at once, for tests that end the whole program
// from outside and look at what it leaves behind:
//
//   kestrin_driver encode SOURCE   encodes SOURCE into the MPEG file proposed beside it
//   kestrin_driver image MPG       authors MPG and builds the image of its DVD folder
//
// The tool paths come from the stored settings, as in the application.
#include "KestrinApp.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    KestrinApp kestrin(app);
    kestrin.mainWindow().show();
    ContentView& view = kestrin.mainWindow().contentView();
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    QTimer::singleShot(0, &view, [&] {
        if (mode == QStringLiteral("encode")) {
            view.applySource(path);
            view.setCreateVideoTSAfterConvert(false);
            view.startConversion();
        } else {
            view.applyDestination(path);
            view.startVideoTSRun();
        }
    });
    return app.exec();
}
