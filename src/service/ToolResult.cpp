#include "FFmpegError.h"
#include "ServiceTypes.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstring>

namespace {

QString lastNonEmptyLine(const QString& text) {
    const QStringList lines =
        text.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line)
        if (!line->trimmed().isEmpty())
            return line->trimmed();
    return {};
}

} // namespace

QString signalReason(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return QStringLiteral("beendet durch Signal %1 (SIG%2)")
        .arg(signal)
        .arg(QString::fromLatin1(name ? name : "?"));
}

QString ToolResult::failureReason() const {
    if (killedBySignal)
        return signalReason(status);
    const QString fromErrors = lastNonEmptyLine(errorOutput);
    return fromErrors.isEmpty() ? lastNonEmptyLine(output) : fromErrors;
}

void ToolResult::throwIfFailed() const {
    if (status != 0)
        throw FFmpegError::conversionFailed(status, failureReason());
}

void ToolResult::reportTo(const LogCallback& onLog) const {
    if (!output.isEmpty())
        onLog(output);
    if (!errorOutput.isEmpty())
        onLog(errorOutput);
    throwIfFailed();
}
