#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// How large the MPEG file, the DVD folder and the image of an encode come out, and the bitrate
// with which an encode fills a disc.

// A disc an image is made for: its name in messages and its capacity.
struct Disc {
    QString name;
    qint64 bytes = 0;

    friend bool operator==(const Disc&, const Disc&) = default;
};

// The smaller single-layer capacity (DVD+R; DVD-R holds slightly more) and the dual-layer one,
// in sectors of 2048 bytes.
Disc singleLayerDisc(); // "DVD-5", 2,295,104 sectors
Disc dualLayerDisc();   // "DVD-9", 4,171,712 sectors

struct SizeForecast {
    qint64 mpegBytes = 0;
    qint64 dvdFolderBytes = 0; // the VOB files with the IFO and BUP files
    qint64 imageBytes = 0;
    // Sub-pictures are muxed into copies of the MPEG file beside it, at most two at a time.
    qint64 subtitleCopyBytes = 0;

    friend bool operator==(const SizeForecast&, const SizeForecast&) = default;
};

// Pictures per GOP, and so per VOBU: "-g 15" as it is, and the closed GOPs of "Passend" with two
// B-frames, which ffmpeg ends on their last reference picture (I BB P BB P BB P BB P).
constexpr int plainGopFrames = 15;
constexpr int closedGopFrames = 13;

// A subtitle track on the disc, a cue every four seconds or so: about 3 KB a picture
// (docs/measurements.md).
constexpr int subtitleTrackKbps = 8;

// The sizes of an encode of `seconds` (after the speed-up) at the video bitrate, with AC-3 sound
// and sub-pictures of audioKbps (all tracks together). A source that is simple enough to stay below
// the bitrate comes out smaller.
SizeForecast forecastSize(double seconds, int videoKbps, int gopFrames, int audioKbps = 192);
// The DVD folder and image made from an MPEG file of this size, and the image made from a DVD
// folder of this size; upper bounds, as the length of the film is not known.
SizeForecast forecastFromMpeg(qint64 mpegBytes);
qint64 imageFromDvdFolder(qint64 dvdFolderBytes);

// The video bitrates of "Passend": the average and the peak.
struct DiscFit {
    int videoKbps = 0;
    int maxRateKbps = 0;

    friend bool operator==(const DiscFit&, const DiscFit&) = default;
};

// The bitrate whose image fills 95–99 % of the disc with closed GOPs, capped at 8000k; nothing
// when even the lowest sensible rate overflows it.
std::optional<DiscFit> fitToDisc(double seconds, qint64 capacityBytes, int audioKbps = 192);

// The image an encode is heading for: the bytes written so far, scaled from the part of the
// encode that they hold to the whole.
qint64 projectedImageBytes(qint64 writtenBytes, double reachedSeconds, double expectedSeconds);

// "Voraussichtliche Größe: 5,45 GB (DVD-5: 4,70 GB)", and the same with "Hochgerechnete Größe".
QString expectedSizeLine(qint64 imageBytes, const Disc& disc);
QString projectedSizeLine(qint64 imageBytes, const Disc& disc);
