#pragma once

#include <QStringView>

#include <optional>

// What one status line of ffmpeg reports ("frame=  100 … size=   10240kB time=00:01:30.50 …"):
// the time the output has reached, in seconds, and the bytes written so far (ffmpeg counts
// kilobytes of 1024 bytes). "Lsize=" on the last line counts as a size.
struct StatusLine {
    std::optional<double> time;
    std::optional<qint64> size;

    // The first "time=" must read exactly "h:m:s" with three plain numbers, the first "size="
    // a whole number of kilobytes ("10240kB"); nothing when the line reports neither.
    static std::optional<StatusLine> parse(QStringView line);
};
