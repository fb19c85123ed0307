#include "CommandLine.h"

#include "FileNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

const QCommandLineOption
    untilOption({QStringLiteral("until")},
                QStringLiteral("Wie weit: mpg, video-ts, iso (Vorgabe) oder burn."),
                QStringLiteral("STUFE"), QStringLiteral("iso"));
const QCommandLineOption qualityOption(
    {QStringLiteral("quality")},
    QStringLiteral("Qualität: standard (Vorgabe), high, max oder fit (Passend: füllt die DVD)."),
    QStringLiteral("STUFE"), QStringLiteral("standard"));
const QCommandLineOption discOption({QStringLiteral("disc")},
                                    QStringLiteral("DVD: dvd5 (Vorgabe) oder dvd9."),
                                    QStringLiteral("DVD"), QStringLiteral("dvd5"));
const QCommandLineOption aspectOption({QStringLiteral("aspect")},
                                      QStringLiteral("Bildformat: auto (Vorgabe), 16:9 oder 4:3."),
                                      QStringLiteral("FORMAT"), QStringLiteral("auto"));
const QCommandLineOption audioOption(
    {QStringLiteral("audio")},
    QStringLiteral("Tonspur: auto (Vorgabe), alle oder ihre Nummer N, von 1 an gezählt."),
    QStringLiteral("N"), QStringLiteral("auto"));
const QCommandLineOption subtitlesOption(
    {QStringLiteral("subtitles")},
    QStringLiteral("Untertitel: all (Vorgabe: alle Spuren), none oder die Nummer N einer Spur."),
    QStringLiteral("SPUREN"), QStringLiteral("all"));
const QCommandLineOption burnInOption(
    {QStringLiteral("burn-in")},
    QStringLiteral("Die Untertitelspur N, gezählt wie bei --subtitles, ins Bild einbrennen "
                   "(für Player ohne DVD-Untertitel); sie kommt dann nicht als Untertitel auf die "
                   "DVD."),
    QStringLiteral("N"));
const QCommandLineOption
    nameOption({QStringLiteral("name")},
               QStringLiteral("Name der DVD; ohne ihn der Name des DVD-Ordners."),
               QStringLiteral("NAME"));
const QCommandLineOption outputOption(
    {QStringLiteral("output")},
    QStringLiteral("Ordner für MPEG-Datei, DVD-Ordner und ISO-Abbild; ohne ihn neben der Quelle."),
    QStringLiteral("ORDNER"));
const QCommandLineOption
    eraseOption({QStringLiteral("erase")},
                QStringLiteral("Eine wiederbeschreibbare DVD vor dem Brennen löschen."));
const QCommandLineOption verifyOption({QStringLiteral("verify")},
                                      QStringLiteral("Die gebrannte DVD danach prüfen."));
const QCommandLineOption
    jsonOption({QStringLiteral("json")},
               QStringLiteral("Jedes Ereignis als eine Zeile JSON, für Skripte."));

// The position of value among the choices, as the stored settings number them.
std::optional<int> choice(const QString& value, const QStringList& choices) {
    const qsizetype index = choices.indexOf(value);
    return index < 0 ? std::nullopt : std::optional<int>(int(index));
}

CommandLine usageError(const QString& reason) {
    return {CommandLine::Action::usageError,
            reason + QStringLiteral("\n„kestrin-cli --help“ zeigt, was geht."),
            {},
            false};
}

} // namespace

CommandLine CommandLine::read(const QStringList& arguments, const ToolPaths& tools) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Macht aus Videodateien PAL-Video-DVDs, eine nach der anderen.\n"
                       "Exit-Status: 0 alle erfolgreich, 1 eine misslang, 2 falscher Aufruf, "
                       "130/143 abgebrochen (SIGINT/SIGTERM)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({untilOption, qualityOption, discOption, aspectOption, audioOption,
                       subtitlesOption, burnInOption, nameOption, outputOption, eraseOption,
                       verifyOption, jsonOption});
    parser.addPositionalArgument(QStringLiteral("QUELLE"), QStringLiteral("Die Videodateien."),
                                 QStringLiteral("QUELLE…"));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return {Action::help, parser.helpText(), {}, false};
    if (parser.isSet(version))
        return {Action::version,
                QCoreApplication::applicationName() + u' ' +
                    QCoreApplication::applicationVersion() + u'\n',
                {},
                false};

    const auto invalid = [](const QCommandLineOption& option, const QString& value) {
        return usageError(
            QStringLiteral("Ungültiger Wert für --%1: %2").arg(option.names().constFirst(), value));
    };
    const std::optional<int> lastStage =
        choice(parser.value(untilOption), {QStringLiteral("mpg"), QStringLiteral("video-ts"),
                                           QStringLiteral("iso"), QStringLiteral("burn")});
    if (!lastStage)
        return invalid(untilOption, parser.value(untilOption));
    const std::optional<int> preset =
        choice(parser.value(qualityOption), {QStringLiteral("standard"), QStringLiteral("high"),
                                             QStringLiteral("max"), QStringLiteral("fit")});
    if (!preset)
        return invalid(qualityOption, parser.value(qualityOption));
    const std::optional<int> discSize =
        choice(parser.value(discOption), {QStringLiteral("dvd5"), QStringLiteral("dvd9")});
    if (!discSize)
        return invalid(discOption, parser.value(discOption));
    const std::optional<int> aspectMode =
        choice(parser.value(aspectOption),
               {QStringLiteral("auto"), QStringLiteral("16:9"), QStringLiteral("4:3")});
    if (!aspectMode)
        return invalid(aspectOption, parser.value(aspectOption));
    std::optional<int> audioPosition;
    const bool allAudio = parser.value(audioOption) == QLatin1String("alle");
    if (parser.value(audioOption) != QLatin1String("auto") && !allAudio) {
        bool number = false;
        const int track = parser.value(audioOption).toInt(&number);
        if (!number || track < 1)
            return invalid(audioOption, parser.value(audioOption));
        audioPosition = track - 1;
    }
    SubtitleChoice subtitles;
    const QString subtitleValue = parser.value(subtitlesOption);
    if (subtitleValue == QLatin1String("none")) {
        subtitles.tracks = SubtitleChoice::Tracks::none;
    } else if (subtitleValue != QLatin1String("all")) {
        bool number = false;
        subtitles = {SubtitleChoice::Tracks::one, subtitleValue.toInt(&number) - 1, std::nullopt};
        if (!number || subtitles.track < 0)
            return invalid(subtitlesOption, subtitleValue);
    }
    std::optional<int> burntSubtitle;
    if (parser.isSet(burnInOption)) {
        bool number = false;
        burntSubtitle = parser.value(burnInOption).toInt(&number) - 1;
        if (!number || *burntSubtitle < 0)
            return invalid(burnInOption, parser.value(burnInOption));
    }
    if (parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Keine Quelle angegeben."));

    CommandLine command{Action::run, {}, {}, parser.isSet(jsonOption)};
    QSet<QString> mpgs;
    for (const QString& source : parser.positionalArguments()) {
        RunRequest request;
        request.until = Stage(*lastStage); // the choices name the stages in their order
        request.input = source;
        request.mpg = destinationFor(source);
        if (parser.isSet(outputOption))
            request.mpg = QDir(parser.value(outputOption))
                              .absoluteFilePath(QFileInfo(request.mpg).fileName());
        // Two sources with one name would overwrite each other's files.
        if (mpgs.contains(request.mpg))
            return usageError(QStringLiteral("Zwei Quellen ergäben dieselbe Datei: ") +
                              request.mpg);
        mpgs << request.mpg;
        request.volumeName = parser.value(nameOption);
        request.encode =
            encodeSettingsFor(*aspectMode, *preset, audioPosition,
                              *discSize == 1 ? dualLayerDisc() : singleLayerDisc(), allAudio);
        request.encode.subtitles = subtitles;
        request.encode.burntSubtitle = burntSubtitle;
        request.tools = tools;
        request.eraseBeforeBurn = parser.isSet(eraseOption);
        request.verifyAfterBurn = parser.isSet(verifyOption);
        command.requests << request;
    }
    return command;
}
