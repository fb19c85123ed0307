#pragma once

#include "RunEnding.h"
#include "RunProgress.h"

#include <QJsonObject>
#include <QString>

#include <cstdio>

// What kestrin-cli shows of its runs: on a terminal one progress line redrawn in place, elsewhere
// a plain line per stage and per ending, or for scripts one JSON object per line. Lines meant for
// the user (sizes, warnings) are shown as lines; the tools' own lines are not.
class CliReport {
public:
    enum class Form { terminal, lines, json };
    explicit CliReport(Form form);

    // The source whose run the following reports are about; number counts from 1.
    void beginSource(const QString& source, qsizetype number, qsizetype count);
    void stageStarted(Stage stage);
    void progressed(const RunProgress& progress);
    void noted(const QString& line);
    void stageCompleted(Stage stage);
    void ended(const QString& source, const RunEnding& ending);
    // After the last source, when there were several: how many succeeded. Not for scripts: the
    // last JSON line stays the last source's ending.
    void summary(qsizetype succeeded, qsizetype count);

private:
    void write(std::FILE* stream, const QString& text);
    void writeJson(QJsonObject object);
    void drawProgressLine();
    void endProgressLine();

    const Form m_form;
    QString m_source;
    // The progress line of the terminal, while one is shown.
    QString m_progressLine;
};
