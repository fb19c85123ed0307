#pragma once

#include <QDateTime>

// The current moment, from the system or, in tests, from a clock they set.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }

    static Clock& system();
};
