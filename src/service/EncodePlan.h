#pragma once

#include "DiscFit.h"
#include "DiscTitle.h"
#include "PictureGeometry.h"
#include "ServiceTypes.h"
#include "SubtitleChoice.h"

#include <QStringList>

#include <optional>

// What the user chose for one PAL encode.
struct EncodeSettings {
    std::optional<bool> widescreen;      // absent: decide from the source
    std::optional<int> audioStreamIndex; // N of "0:a:N", the position among the audio streams
    int videoBitrateKbps = 6000;
    int maxRateKbps = 8000;
    // The disc the image is for; "Passend" (fillsDisc) computes the bitrate that fills it, and
    // keeps the bitrates above only for a source of unknown length.
    Disc disc = singleLayerDisc();
    bool fillsDisc = false;
    SubtitleChoice subtitles = {};
};

// The decisions taken for one source; FFmpegArguments.h turns them into ffmpeg's arguments.
struct EncodePlan {
    // What becomes of the source's fields.
    enum class Fields {
        Progressive, // a progressive source, or one of unknown field order
        Kept,        // interlaced at 25 frames per second: the fields stay as they are
        // Deinterlaced to one picture per field where the rate is resampled anyway, or one per
        // frame for film, whose frames map one to one onto the sped-up ones.
        OnePerField,
        OnePerFrame,
    };

    bool widescreen = true;
    QString sampleAspectRatio; // "64/45" (16:9) or "12/11" (4:3)
    // The scaled source and where it sits in the 720×576 frame.
    PictureFit picture;
    Fields fields = Fields::Progressive;
    // Which field the source shows first: the order kept fields keep, or the one deinterlacing
    // reads. Pictures made progressive are encoded top field first.
    bool topFieldFirst = true;
    // Film is sped up from its frame rate to 25 frames per second, its sound with it; any other
    // rate becomes 25 by dropped or repeated pictures.
    std::optional<double> speedUpFrom;
    // Encoded seconds per source second: below 1 when film is sped up.
    double timeScale = 1.0;
    // Where the encoded timeline starts on the source's, in seconds after the start of the file.
    double origin = 0.0;
    // N of "0:a:N" when a stream is chosen; otherwise ffmpeg picks one (encodedAudioStream).
    std::optional<int> audioStream;
    // How long the encode comes out when the source is whole.
    std::optional<double> expectedDuration;
    // The bitrates encoded with: the chosen ones, or for "Passend" the ones that fill the disc,
    // with the encoder settings that give the better picture per bit.
    int videoBitrateKbps = 6000;
    int maxRateKbps = 8000;
    bool tunedEncoder = false;
    // "Passend" for a film so long that even the lowest bitrate overflows the disc.
    bool tooLongForDisc = false;
    // Known with the length.
    std::optional<SizeForecast> size;
};

EncodePlan planEncode(const VideoProbe& probe, const EncodeSettings& settings);

// The summary lines logged before ffmpeg starts, headers included.
QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan);

// The audio stream ffmpeg encodes: the chosen position, or, without a choice, the one ffmpeg
// picks itself (the file's default streams first, then the most channels, then the first).
// A position in probe.audioStreams; nothing when the source has no such stream.
std::optional<qsizetype> encodedAudioStream(const VideoProbe& probe,
                                            const EncodeSettings& settings);

// The disc's language and chapters for an encode of this source.
DiscTitle discTitleFor(const VideoProbe& probe, const EncodeSettings& settings,
                       const EncodePlan& plan);

// ffprobe is the file named "ffprobe" in the folder that holds ffmpeg.
QString ffprobePathFor(const QString& ffmpegPath);

// The stored choices of the main window as encode settings: aspect mode 1 is 16:9, 2 is 4:3,
// anything else automatic; quality preset 1 is "High", 2 "Max", 3 "Passend", anything else
// "Standard".
EncodeSettings encodeSettingsFor(int aspectMode, int qualityPreset,
                                 std::optional<int> audioStreamPosition, const Disc& disc);
