#include "KestrinApp.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    // --help and --version answer on the terminal and end the program before any window opens.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Macht aus einer Videodatei eine PAL-Video-DVD."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("datei"),
                                 QStringLiteral("Die Videodatei (MKV, MP4 …)."),
                                 QStringLiteral("[datei]"));
    parser.process(app);
    KestrinApp kestrin(app);
    kestrin.mainWindow().show();
    // After the tools check that showing the window runs, so the audio streams are read.
    kestrin.openFiles(parser.positionalArguments());
    return app.exec();
}
