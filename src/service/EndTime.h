#pragma once

#include <QDateTime>

// The expected end of the encode is shown from a tenth of the work on: before that, the time the
// probe and the start took weighs too much.
bool showsExpectedEnd(double fraction);

// When the encode is expected to end if it goes on at the pace it had from start to now, with
// fraction of the work done.
QDateTime expectedEnd(const QDateTime& start, const QDateTime& now, double fraction);
