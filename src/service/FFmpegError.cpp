#include "FFmpegError.h"

#include "EncodeCheck.h"

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
        return m_text;
    }
    return {};
}
