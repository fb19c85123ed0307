#pragma once

#include <QDateTime>
#include <QString>

// Numbers and times as German messages show them, whatever the process locale is.
namespace GermanFormat {

// "20:19": hours and minutes.
QString clockTime(const QDateTime& moment);
// "4.800,0 MB" (10^6 bytes).
QString megabytes(double bytes);
// "4,70 GB" (10^9 bytes).
QString gigabytes(double bytes);
// A number with the given decimals: "1.234,5".
QString number(double value, int decimals);
// A size with one decimal: "13,2 GB" from 10^9 bytes on, "62,9 MB" below.
QString size(double bytes);
// A length as hours and minutes, rounded to the minute: "1:43 h".
QString hoursMinutes(double seconds);

} // namespace GermanFormat
