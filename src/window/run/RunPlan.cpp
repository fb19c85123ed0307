#include "RunPlan.h"

#include "platform/GermanFormat.h"

Stage firstStage(RunKind kind) {
    switch (kind) {
    case RunKind::chained:
        return Stage::encode;
    case RunKind::videoTS:
        return Stage::authoring;
    case RunKind::iso:
        return Stage::image;
    case RunKind::burn:
        break;
    }
    return Stage::burn;
}

Shown runOpening(RunKind kind) {
    switch (kind) {
    case RunKind::chained:
        return {QStringLiteral("Kodieren…"), QStringLiteral("Kodieren"), {}};
    case RunKind::videoTS:
        return {QStringLiteral("Erstellen…"), QStringLiteral("Erstellen"), {}};
    case RunKind::iso:
        return {QStringLiteral("ISO erstellen…"), QStringLiteral("ISO erstellen"), {}};
    case RunKind::burn:
        break;
    }
    return {QStringLiteral("Brennen…"), QStringLiteral("Brennen"), {}};
}

Shown stageOpening(RunKind kind, Stage stage, bool erasing) {
    const bool chained = kind == RunKind::chained;
    switch (stage) {
    case Stage::encode:
        return {};
    case Stage::authoring:
        if (chained)
            return {QStringLiteral("Erzeuge VIDEO_TS…"), QStringLiteral("Erstellen"),
                    QStringLiteral("Erstelle VIDEO_TS Ordner")};
        return {{}, {}, QStringLiteral("Erstelle VIDEO_TS Ordner")};
    case Stage::image:
        if (kind == RunKind::iso)
            return {{}, {}, QStringLiteral("Erstelle ISO")};
        return {QStringLiteral("Erzeuge ISO…"),
                chained ? std::optional(QStringLiteral("ISO erstellen")) : std::nullopt,
                QStringLiteral("Erstelle ISO")};
    case Stage::burn:
        break;
    }
    if (erasing)
        return {QStringLiteral("Löschen…"), QStringLiteral("Löschen"),
                QStringLiteral("DVD löschen")};
    if (kind == RunKind::burn)
        return {};
    return {QStringLiteral("Brenne DVD…"), {}, {}};
}

std::optional<QString> stageCompletion(RunKind kind, Stage stage, const QString& product) {
    if (stage == Stage::authoring && kind == RunKind::videoTS)
        return QStringLiteral("Fertig ✅ VIDEO_TS erstellt: ") + product;
    if (stage == Stage::image && (kind == RunKind::videoTS || kind == RunKind::iso))
        return QStringLiteral("Fertig ✅ ISO erstellt: ") + product;
    return std::nullopt;
}

namespace {

// The status line of a failure names its reason: the first line the tool or the recorder gave
// for it, where there is one, with the exit code after it.
QString failureStatus(const RunEnding& ending) {
    const QString reason =
        ending.error->toolReason().section(u'\n', 0, 0, QString::SectionSkipEmpty);
    if (ending.error->kind() != FFmpegError::Kind::ConversionFailed || reason.isEmpty())
        return ending.summary();
    const QString plain =
        reason.startsWith(QStringLiteral("Fehler: ")) ? reason.mid(8).trimmed() : reason.trimmed();
    return QStringLiteral("Fehler ❌ %1 (Exit Code %2)").arg(plain).arg(ending.error->code());
}

} // namespace

EndingShown endingShown(RunKind kind, const RunEnding& ending, bool verifyAfterBurn) {
    const QString start = QStringLiteral("Start");
    if (!ending.succeeded()) {
        const QString status = failureStatus(ending);
        const QString logged = ending.message();
        switch (kind) {
        case RunKind::chained:
            return {status, {}, {}, logged, true};
        case RunKind::iso:
            return {status, {}, {}, logged, false};
        case RunKind::videoTS:
        case RunKind::burn:
            break;
        }
        return {status, start, {}, logged, false};
    }
    if (kind == RunKind::chained)
        return {QStringLiteral("Fertig ✅"), start, 1.0, QStringLiteral("Fertig ✅"), true};
    if (ending.stage == Stage::burn) {
        const QString done =
            verifyAfterBurn ? QStringLiteral("Fertig ✅ Brennvorgang abgeschlossen (mit Verify).")
                            : QStringLiteral("Fertig ✅ Brennvorgang gestartet/abgeschlossen.");
        return {done, start, 1.0, done, false};
    }
    // The stage's completion text stays, and was logged when the stage completed.
    return {};
}

QString progressLine(const QString& phase, double progress,
                     const std::optional<QDateTime>& expectedEnd) {
    QString line = QStringLiteral("%1 · %2 %").arg(phase).arg(qRound(progress * 100));
    if (expectedEnd)
        line += QStringLiteral(" · Fertig um ") + GermanFormat::clockTime(*expectedEnd);
    return line;
}
