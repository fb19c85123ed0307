#include "ServiceTypes.h"

#include <QRegularExpression>
#include <QStringList>

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

QString ToolResult::lastLine() const {
    const QString fromErrors = lastNonEmptyLine(errorOutput);
    return fromErrors.isEmpty() ? lastNonEmptyLine(output) : fromErrors;
}
