#pragma once

#include <QList>
#include <QString>

// One picture of a sub-picture stream as spumux places it.
struct SpumuxEntry {
    double start = 0;
    double end = 0;
    QString image; // a PNG of at most four colours
    int x = 0;
    int y = 0;
    bool forced = false; // shown also where the viewer turned subtitles off
};

// The XML spumux reads for one stream of a PAL disc.
QString spumuxScript(const QList<SpumuxEntry>& entries);
