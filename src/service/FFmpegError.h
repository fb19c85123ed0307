#pragma once

#include <QString>

#include <exception>
#include <optional>

// The one error type of the conversion service. Every failure of a service operation travels as
// an FFmpegError to the place that shows it; its description is the German text for the user.
class FFmpegError : public std::exception {
public:
    enum class Kind {
        ToolNotFound,     // text: the tool path that was tried
        FfprobeFailed,    // text: the probe's standard error
        ConversionFailed, // code: exit code or signal number; -1, -2, -3 for burn failures
        LaunchFailed,     // text: the tool path, detail: why it could not be started
        UnreadableOutput, // detail: what in the probe's answer could not be read
        NoVideoStream,    // text: the source path
        FileFailed,       // text: the path, detail: what went wrong
        Cancelled,
        IncompleteSource, // text: the message, detail: ffmpeg's lines about the source
        TooLongForDisc,   // text: the message
        DiscTooSmall,     // text: the message
        NotEnoughSpace,   // text: the message
    };

    static FFmpegError toolNotFound(const QString& path);
    static FFmpegError ffprobeFailed(const QString& errorOutput);
    // toolReason: the last line the tool wrote, when it wrote any.
    static FFmpegError conversionFailed(int code, const QString& toolReason = {});
    static FFmpegError launchFailed(const QString& path, const QString& reason);
    static FFmpegError unreadableOutput(const QString& detail);
    static FFmpegError noVideoStream(const QString& source);
    static FFmpegError fileFailed(const QString& path, const QString& detail);
    static FFmpegError cancelled();
    // The encode ended after `encoded` of the `expected` seconds although ffmpeg reported
    // success; toolReason: ffmpeg's lines about the broken source, one per line.
    static FFmpegError incompleteSource(double encoded, double expected, const QString& toolReason);
    // Even the lowest bitrate of "Passend" would make an image of a film this long (seconds,
    // after the speed-up) larger than the disc.
    static FFmpegError tooLongForDisc(double seconds, const QString& discName);
    // The image of a fixed bitrate is expected to be larger than the disc it is to be burnt on;
    // largerDisc: the disc to recommend besides "Passend", when there is a larger one.
    static FFmpegError discTooSmall(qint64 expectedBytes, const QString& discName, qint64 discBytes,
                                    const std::optional<QString>& largerDisc);
    // What a run writes to the file system that holds folder needs more than is free there.
    static FFmpegError notEnoughSpace(const QString& folder, qint64 neededBytes, qint64 freeBytes);

    Kind kind() const { return m_kind; }
    QString text() const { return m_text; }
    int code() const { return m_code; }
    // Why the tool says it failed, possibly several lines; not part of the description.
    QString toolReason() const {
        return m_kind == Kind::ConversionFailed || m_kind == Kind::IncompleteSource ? m_detail
                                                                                    : QString();
    }
    bool isCancellation() const { return m_kind == Kind::Cancelled; }

    QString description() const;
    // The description on one line, for a status line: of a probe's report only its last line.
    QString summary() const;
    const char* what() const noexcept override { return m_what.constData(); }

private:
    FFmpegError(Kind kind, QString text, QString detail = {}, int code = 0);

    Kind m_kind;
    QString m_text;
    QString m_detail;
    int m_code;
    QByteArray m_what;
};
