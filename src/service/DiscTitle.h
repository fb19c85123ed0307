#pragma once

#include "SubtitleRenderer.h"
#include "SubtitleTrack.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the authored disc tells a player about its one title.
struct DiscTitle {
    // Two-letter ISO 639-1 codes of the sound tracks in the disc's order, where known.
    QList<std::optional<QString>> audioLanguages;
    QList<double> chapterStarts; // seconds into the encoded stream, ascending
    // The subtitle tracks read for the disc, muxed in when it is authored, and their frame.
    QList<SubtitleTrack> subtitles = {};
    SubtitleCanvas subtitleCanvas = {};

    friend bool operator==(const DiscTitle&, const DiscTitle&) = default;
};

// Chapter starts on the encoded timeline: the source's marks (seconds after the start of the
// source file) taken from origin on and multiplied by scale (the speed-up), or, when the source
// has no marks of its own, one every five minutes. Marks closer than a second to the one before
// and marks from the end of the encode on are left out; the first chapter starts at 0, and a
// DVD title holds at most 99.
QList<double> chapterStarts(const QList<double>& sourceMarks, double origin, double scale,
                            std::optional<double> encodedDuration);

// A chapter start as dvdauthor reads it: h:mm:ss.fff.
QString chapterTime(double seconds);

// The arguments of dvdauthor's first run, which adds the title set: the audio languages, when one
// is known, the chapters, when there is more than one, and the subtitle languages go before the
// MPEG file they belong to.
QStringList titleSetArguments(const QString& mpg, const QString& dvdFolder, const DiscTitle& title);

// Whether a file in VIDEO_TS is one dvdauthor writes: VIDEO_TS.IFO/.BUP/.VOB or
// VTS_nn_n.IFO/.BUP/.VOB.
bool isDvdVideoFile(const QString& name);
