#include "CliReport.h"

#include "platform/GermanFormat.h"

#include <QJsonDocument>

namespace {

// The stage as scripts name it.
QString stageKey(Stage stage) {
    switch (stage) {
    case Stage::encode:
        return QStringLiteral("encode");
    case Stage::authoring:
        return QStringLiteral("authoring");
    case Stage::image:
        return QStringLiteral("image");
    case Stage::burn:
        break;
    }
    return QStringLiteral("burn");
}

QString outcomeKey(RunEnding::Outcome outcome) {
    switch (outcome) {
    case RunEnding::Outcome::succeeded:
        return QStringLiteral("succeeded");
    case RunEnding::Outcome::failed:
        return QStringLiteral("failed");
    case RunEnding::Outcome::cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}

QJsonValue pathOrNull(const std::optional<QString>& path) {
    return path ? QJsonValue(*path) : QJsonValue();
}

} // namespace

CliReport::CliReport(Form form)
    : m_form(form) {}

void CliReport::beginSource(const QString& source, qsizetype number, qsizetype count) {
    m_source = source;
    if (m_form != Form::json)
        write(stdout, QStringLiteral("[%1/%2] %3\n").arg(number).arg(count).arg(source));
}

void CliReport::stageStarted(Stage stage) {
    if (m_form == Form::json)
        writeJson({{"event", "stage"}, {"stage", stageKey(stage)}});
    else if (m_form == Form::lines)
        write(stdout, stageTitle(stage) + QStringLiteral(" …\n"));
    else {
        endProgressLine();
        m_progressLine = stageTitle(stage) + QStringLiteral(" …");
        drawProgressLine();
    }
}

void CliReport::progressed(const RunProgress& progress) {
    if (m_form == Form::json) {
        QJsonObject object{{"event", "progress"},
                           {"stage", stageKey(progress.stage)},
                           {"fraction", progress.fraction}};
        if (progress.expectedEnd)
            object.insert("expectedEnd", progress.expectedEnd->toUTC().toString(Qt::ISODate));
        if (progress.projectedImageBytes)
            object.insert("projectedImageBytes", double(*progress.projectedImageBytes));
        writeJson(object);
        return;
    }
    if (m_form == Form::lines)
        return;
    m_progressLine = QStringLiteral("%1 %2 %")
                         .arg(stageTitle(progress.stage))
                         .arg(int(progress.fraction * 100), 3);
    if (progress.expectedEnd)
        m_progressLine +=
            QStringLiteral("  Fertig um ") + GermanFormat::clockTime(*progress.expectedEnd);
    if (progress.projectedImageBytes)
        m_progressLine += QStringLiteral("  ISO ≈ ") +
                          GermanFormat::gigabytes(double(*progress.projectedImageBytes));
    drawProgressLine();
}

void CliReport::noted(const QString& line) {
    if (m_form == Form::json) {
        writeJson({{"event", "note"}, {"text", line}});
        return;
    }
    // Above the progress line, which is drawn again below it.
    if (m_form == Form::terminal)
        write(stdout, QStringLiteral("\r\033[K"));
    write(stdout, line + u'\n');
    drawProgressLine();
}

void CliReport::stageCompleted(Stage stage) {
    if (m_form != Form::terminal)
        return;
    m_progressLine = QStringLiteral("%1 100 %").arg(stageTitle(stage));
    drawProgressLine();
    endProgressLine();
}

void CliReport::ended(const QString& source, const RunEnding& ending) {
    if (m_form == Form::json) {
        const RunProducts& products = ending.products;
        writeJson({{"event", "ending"},
                   {"source", source},
                   {"outcome", outcomeKey(ending.outcome)},
                   {"stage", stageKey(ending.stage)},
                   {"message", ending.message()},
                   {"products", QJsonObject{{"mpg", pathOrNull(products.mpg)},
                                            {"dvdFolder", pathOrNull(products.dvdFolder)},
                                            {"iso", pathOrNull(products.iso)}}}});
        return;
    }
    endProgressLine();
    if (ending.succeeded()) {
        const RunProducts& made = ending.products;
        write(stdout,
              QStringLiteral("Fertig: %1\n")
                  .arg(made.iso.value_or(made.dvdFolder.value_or(made.mpg.value_or(source)))));
    } else {
        write(stderr, QStringLiteral("%1: %2\n").arg(source, ending.message()));
    }
}

void CliReport::summary(qsizetype succeeded, qsizetype count) {
    if (m_form != Form::json && count > 1)
        write(stdout, QStringLiteral("%1 von %2 erfolgreich\n").arg(succeeded).arg(count));
}

void CliReport::write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void CliReport::writeJson(QJsonObject object) {
    if (!object.contains("source"))
        object.insert("source", m_source);
    write(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
}

void CliReport::drawProgressLine() {
    if (m_form == Form::terminal && !m_progressLine.isEmpty())
        write(stdout, QStringLiteral("\r\033[K") + m_progressLine);
}

void CliReport::endProgressLine() {
    if (m_form == Form::terminal && !m_progressLine.isEmpty())
        write(stdout, QStringLiteral("\n"));
    m_progressLine.clear();
}
