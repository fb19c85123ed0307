#pragma once

#include "StatusLine.h"

#include <QStringList>
#include <QStringView>

#include <optional>

// Follows ffmpeg's standard error during an encode: how far the output got, by its last status
// line, and the lines in which ffmpeg says why it could not read the source to its end.
class EncodeWatch {
public:
    // One line of ffmpeg's standard error, with the status it reports as StatusLine parsed it.
    void see(QStringView line, const std::optional<StatusLine>& status);

    std::optional<double> reached() const { return m_reached; }
    QStringList reasons() const { return m_reasons; }

private:
    std::optional<double> m_reached;
    QStringList m_reasons;
};

// Whether a line of ffmpeg tells of a damaged or cut-off source.
bool tellsOfDamage(QStringView line);

// Whether an encode that reached `encoded` seconds of the `expected` ones stopped early: short by
// more than 2 % and by more than a second.
bool endedEarly(double encoded, double expected);

// A duration as "m:ss", or "h:mm:ss" from an hour on, rounded to the second.
QString clockDuration(double seconds);
