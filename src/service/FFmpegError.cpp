#include "FFmpegError.h"

#include "EncodeCheck.h"
#include "platform/GermanFormat.h"

#include <QStringList>

FFmpegError::FFmpegError(Kind kind, QString text, QString detail, int code)
    : m_kind(kind)
    , m_text(std::move(text))
    , m_detail(std::move(detail))
    , m_code(code) {
    m_what = description().toUtf8();
}

FFmpegError FFmpegError::toolNotFound(const QString& path) {
    return {Kind::ToolNotFound, path};
}

FFmpegError FFmpegError::ffprobeFailed(const QString& errorOutput) {
    return {Kind::FfprobeFailed, errorOutput};
}

FFmpegError FFmpegError::conversionFailed(int code, const QString& toolReason) {
    return {Kind::ConversionFailed, {}, toolReason, code};
}

FFmpegError FFmpegError::launchFailed(const QString& path, const QString& reason) {
    return {Kind::LaunchFailed, path, reason};
}

FFmpegError FFmpegError::unreadableOutput(const QString& detail) {
    return {Kind::UnreadableOutput, {}, detail};
}

FFmpegError FFmpegError::noVideoStream(const QString& source) {
    return {Kind::NoVideoStream, source};
}

FFmpegError FFmpegError::fileFailed(const QString& path, const QString& detail) {
    return {Kind::FileFailed, path, detail};
}

FFmpegError FFmpegError::cancelled() {
    return {Kind::Cancelled, {}};
}

QString FFmpegError::summary() const {
    if (m_kind != Kind::FfprobeFailed)
        return description();
    const QStringList lines = m_text.split(u'\n', Qt::SkipEmptyParts);
    return QStringLiteral("ffprobe Analyse fehlgeschlagen: ") +
           (lines.isEmpty() ? QString() : lines.last().trimmed());
}

FFmpegError FFmpegError::incompleteSource(double encoded, double expected,
                                          const QString& toolReason) {
    return {Kind::IncompleteSource,
            QStringLiteral("Die Kodierung endete nach %1 von %2 – die Quelldatei ist "
                           "unvollständig oder beschädigt.")
                .arg(clockDuration(encoded), clockDuration(expected)),
            toolReason};
}

FFmpegError FFmpegError::tooLongForDisc(double seconds, const QString& discName) {
    return {Kind::TooLongForDisc, QStringLiteral("Der Film ist mit %1 zu lang für eine %2.")
                                      .arg(GermanFormat::hoursMinutes(seconds), discName)};
}

FFmpegError FFmpegError::discTooSmall(qint64 expectedBytes, const QString& discName,
                                      qint64 discBytes, const std::optional<QString>& largerDisc) {
    const QString choice = largerDisc ? QStringLiteral("„Passend“ oder %1").arg(*largerDisc)
                                      : QStringLiteral("„Passend“");
    return {Kind::DiscTooSmall,
            QStringLiteral("Das Abbild wird voraussichtlich %1 groß und passt nicht auf eine %2 "
                           "(%3). Bitte %4 wählen.")
                .arg(GermanFormat::gigabytes(double(expectedBytes)), discName,
                     GermanFormat::gigabytes(double(discBytes)), choice)};
}

FFmpegError FFmpegError::notEnoughSpace(const QString& folder, qint64 neededBytes,
                                        qint64 freeBytes) {
    return {Kind::NotEnoughSpace,
            QStringLiteral("Nicht genug Speicherplatz in %1: benötigt %2, frei %3.")
                .arg(folder, GermanFormat::size(double(neededBytes)),
                     GermanFormat::size(double(freeBytes)))};
}

QString FFmpegError::description() const {
    switch (m_kind) {
    case Kind::ToolNotFound:
        return QStringLiteral("Tool nicht gefunden oder nicht ausführbar: ") + m_text;
    case Kind::FfprobeFailed:
        return QStringLiteral("ffprobe Analyse fehlgeschlagen: ") + m_text;
    case Kind::ConversionFailed:
        return QStringLiteral("Vorgang fehlgeschlagen (Exit Code %1).").arg(m_code);
    case Kind::LaunchFailed:
        return QStringLiteral("Programm konnte nicht gestartet werden: %1 (%2)")
            .arg(m_text, m_detail);
    case Kind::UnreadableOutput:
        return QStringLiteral("Antwort von ffprobe nicht lesbar: ") + m_detail;
    case Kind::NoVideoStream:
        return QStringLiteral("Die Quelldatei enthält keine Videospur: ") + m_text;
    case Kind::FileFailed:
        return QStringLiteral("%1: %2").arg(m_detail, m_text);
    case Kind::Cancelled:
        return QStringLiteral("Abgebrochen.");
    case Kind::IncompleteSource:
    case Kind::TooLongForDisc:
    case Kind::DiscTooSmall:
    case Kind::NotEnoughSpace:
        return m_text;
    }
    return {};
}
