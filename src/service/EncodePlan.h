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
    // "Alle Spuren": every audio stream of the source, its default one first, up to 8.
    bool allAudioStreams = false;
    SubtitleChoice subtitles = {};
    // The position among the available subtitle tracks of the one drawn into the picture, for
    // players that show no sub-pictures; it does not go on the disc as well.
    std::optional<int> burntSubtitle = {};
};

// One sound track of the disc, encoded as AC-3.
struct AudioTrack {
    std::optional<int> stream; // N of "0:a:N"; nothing: the stream ffmpeg picks itself
    int channels = 2;
    int bitrateKbps = 192;

    friend bool operator==(const AudioTrack&, const AudioTrack&) = default;
};

// The decisions taken for one source; FFmpegArguments.h turns them into ffmpeg's arguments.
struct EncodePlan {
    // What becomes of the source's fields.
    enum class Fields {
        Progressive, // progressive content, or one of unknown field order
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
    // Whether the content showed that order; otherwise the flags gave it.
    bool fieldOrderSeen = false;
    // Film telecined to 29.97 frames per second: its fields are matched into the film frames
    // again (in the field order above) and the repeated ones dropped, at 23.976 frames per second.
    bool inverseTelecine = false;
    // Film stored frame by frame with flags that repeat fields to 29.97 frames per second (soft
    // telecine): the decoder's frames are the film frames, at 23.976 frames per second.
    bool pulldownFlags = false;
    // The disc's colours are PAL's: the BT.601 matrix in the limited range. swscale's name of the
    // source's matrix when it is another one (HD's "bt709", "bt2020"), whether the source is full
    // range, and zscale's name of an HDR source's transfer ("smpte2084", "arib-std-b67"), whose
    // picture is tone-mapped to SDR.
    std::optional<QString> convertedMatrix;
    bool fullRange = false;
    std::optional<QString> toneMappedFrom;
    // Film is sped up from its frame rate to 25 frames per second, its sound with it; any other
    // rate becomes 25 by dropped or repeated pictures.
    std::optional<double> speedUpFrom;
    // Encoded seconds per source second: below 1 when film is sped up.
    double timeScale = 1.0;
    // Where the encoded timeline starts on the source's, in seconds after the start of the file.
    double origin = 0.0;
    // The disc's sound tracks in their order: one, or every one of "Alle Spuren".
    QList<AudioTrack> audioTracks;
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
    // The ffconcat list of the burnt subtitle's pictures (SubtitleBurnIn), once they are drawn:
    // they go over the finished 720×576 frame on the disc's timeline.
    std::optional<QString> subtitleOverlay;
};

EncodePlan planEncode(const VideoProbe& probe, const EncodeSettings& settings);

// The summary lines logged before ffmpeg starts, headers included.
QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan);

// The line on the fields logged once the content is sampled: their order and how it was found,
// or the film recovered from telecine; nothing for progressive content.
QStringList fieldsSummary(const EncodePlan& plan);

// The audio stream ffmpeg encodes: the chosen position, or, without a choice, the one ffmpeg
// picks itself (the file's default streams first, then the most channels, then the first).
// A position in probe.audioStreams; nothing when the source has no such stream.
std::optional<qsizetype> encodedAudioStream(const VideoProbe& probe,
                                            const EncodeSettings& settings);

// The disc's languages and chapters for an encode of this source.
DiscTitle discTitleFor(const VideoProbe& probe, const EncodeSettings& settings,
                       const EncodePlan& plan);

// ffprobe is the file named "ffprobe" in the folder that holds ffmpeg.
QString ffprobePathFor(const QString& ffmpegPath);

// The stored choices of the main window as encode settings: aspect mode 1 is 16:9, 2 is 4:3,
// anything else automatic; quality preset 1 is "High", 2 "Max", 3 "Passend", anything else
// "Standard"; allAudioStreams for "Alle Spuren".
EncodeSettings encodeSettingsFor(int aspectMode, int qualityPreset,
                                 std::optional<int> audioStreamPosition, const Disc& disc,
                                 bool allAudioStreams = false);
