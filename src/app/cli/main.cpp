// kestrin-cli: the runs of Kestrin from a command line, without a display.
#include "CliReport.h"
#include "CommandLine.h"
#include "SourceQueue.h"
#include "platform/GermanTranslations.h"
#include "platform/StoredSettings.h"

#include <QGuiApplication>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

ToolPaths storedToolPaths() {
    const StoredSettings settings;
    return {settings.value(Setting::ffmpegPath), settings.value(Setting::dvdauthorPath),
            settings.value(Setting::genisoimagePath)};
}

QCoro::Task<> runQueue(SourceQueue& queue) {
    QCoreApplication::exit(co_await queue.run());
}

} // namespace

int main(int argc, char** argv) {
    // Subtitles are drawn with fonts, which need a GUI application; it needs no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    installGermanTranslations(app);
    const CommandLine command = CommandLine::read(QCoreApplication::arguments(), storedToolPaths());
    switch (command.action) {
    case CommandLine::Action::help:
    case CommandLine::Action::version:
        std::fputs(command.text.toUtf8().constData(), stdout);
        return 0;
    case CommandLine::Action::usageError:
        std::fprintf(stderr, "kestrin-cli: %s\n", command.text.toUtf8().constData());
        return 2;
    case CommandLine::Action::run:
        break;
    }
    CliReport report(command.json                   ? CliReport::Form::json
                     : ::isatty(STDOUT_FILENO) != 0 ? CliReport::Form::terminal
                                                    : CliReport::Form::lines);
    SourceQueue queue(command.requests, report);
    QTimer::singleShot(0, &queue, [&queue] { runQueue(queue); });
    return QCoreApplication::exec();
}
