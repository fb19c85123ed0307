#pragma once

#include <QChar>
#include <QStringView>

#include <optional>

// Strict number reading: the whole text must be one C-locale floating-point number (decimal or
// hexadecimal, optional exponent, inf and nan spellings), with no leading white space.
std::optional<double> readNumber(QStringView text);

// "a<sep>b" as a / b; empty pieces are dropped, anything but exactly two numbers or a zero
// divisor gives no ratio.
std::optional<double> parseRatio(QStringView text, QChar separator);
