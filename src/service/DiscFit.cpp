#include "DiscFit.h"

#include "platform/GermanFormat.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 sectorBytes = 2048;
constexpr double framesPerSecond = 25.0;

// Measured on encodes of sources that reach the bitrate (generated pictures under temporal
// noise, 10 s and 2 min at 1920×1080, 60 s at 480×270; 1500k to 9800k, with and without
// B-frames), with a count of the packs by kind:
// - ffmpeg's video lands within 0.1 % of "-b:v" over a minute of such a source from 4000k on,
//   within 0.6 % at 1500k;
// - its DVD multiplex puts the streams into 2048-byte packs, each with a 14-byte pack header and
//   a PES header of 9 bytes and more (timestamps), which is the factor on the streams; every VOBU
//   adds a navigation pack and the padding of its last pack, about 3.2 KB;
// - dvdauthor keeps the VOB exactly as large as the MPEG file and adds VIDEO_TS.IFO/BUP (6 KiB
//   each) and VTS_01_0.IFO/BUP (12 KiB each; their address and time maps grow by 10.3 bytes per
//   VOBU together, 12 counted);
// - genisoimage's ISO 9660 and UDF structures add 454 sectors to the folder's files.
constexpr double muxFactor = 1.01208;
constexpr double bytesPerVobu = 3172;
constexpr qint64 ifoBytes = 36'864;
constexpr double ifoBytesPerVobu = 12;
constexpr qint64 isoStructureBytes = 454 * sectorBytes;
// Room for the IFO files when the length of the film is not known: a DVD-9 at the lowest rate.
constexpr qint64 ifoAllowance = 1024 * 1024;

// "Passend" aims at the middle of 95–99 % of the disc: the encoder's average strays by less than
// 1 % on a minute of a source that reaches the rate, and a simpler source comes out smaller.
constexpr double fillTarget = 0.97;
// The average and peak of "Max"; the peak is DVD-Video's limit for the video stream.
constexpr int highestFitKbps = 8000;
constexpr int fitPeakKbps = 9800;
// The lowest rate "Passend" goes down to, and with it the longest film: 5:46 h on a DVD-5, 10:30 h
// on a DVD-9. At 1000k the noisiest test source lost its grain and showed blocks in moving
// detail. The picture keeps its full width down there: the half width DVD-Video allows
// (352×576, same aspect flags) lost at every rate from 1000k to 5000k, encoded with the settings
// of "Passend" and compared with the source at 1024×576 (10 s of three 1080p sources;
// bench_disc_fit quality repeats it on one): by 0.5–0.7 dB PSNR under heavy noise, 3–5 dB on
// sharper pictures, and in SSIM everywhere.
constexpr int lowestKbps = 1500;

double vobus(double seconds, int gopFrames) {
    return std::ceil(seconds * framesPerSecond / gopFrames);
}

qint64 ifoFor(double seconds, int gopFrames) {
    const auto bytes = qint64(ifoBytes + ifoBytesPerVobu * vobus(seconds, gopFrames));
    return (bytes + sectorBytes - 1) / sectorBytes * sectorBytes;
}

// Bytes of the whole image besides the video stream.
double imageBytesBesideVideo(double seconds, int gopFrames, int audioKbps) {
    return muxFactor * audioKbps * 1000 / 8.0 * seconds + bytesPerVobu * vobus(seconds, gopFrames) +
           double(ifoFor(seconds, gopFrames)) + double(isoStructureBytes);
}

} // namespace

Disc singleLayerDisc() {
    return {QStringLiteral("DVD-5"), 2'295'104 * sectorBytes};
}

Disc dualLayerDisc() {
    return {QStringLiteral("DVD-9"), 4'171'712 * sectorBytes};
}

SizeForecast forecastSize(double seconds, int videoKbps, int gopFrames, int audioKbps) {
    const double video = videoKbps * 1000 / 8.0 * seconds;
    const double mpeg = muxFactor * (video + audioKbps * 1000 / 8.0 * seconds) +
                        bytesPerVobu * vobus(seconds, gopFrames);
    // The muxer writes whole packs.
    const qint64 mpegBytes = qint64(std::ceil(mpeg / sectorBytes)) * sectorBytes;
    const qint64 folder = mpegBytes + ifoFor(seconds, gopFrames);
    return {mpegBytes, folder, folder + isoStructureBytes};
}

SizeForecast forecastFromMpeg(qint64 mpegBytes) {
    const qint64 folder = mpegBytes + ifoAllowance;
    return {mpegBytes, folder, folder + isoStructureBytes};
}

qint64 imageFromDvdFolder(qint64 dvdFolderBytes) {
    return dvdFolderBytes + isoStructureBytes;
}

std::optional<DiscFit> fitToDisc(double seconds, qint64 capacityBytes, int audioKbps) {
    if (!(seconds > 0))
        return DiscFit{highestFitKbps, fitPeakKbps};
    const double videoBytes = (fillTarget * double(capacityBytes) -
                               imageBytesBesideVideo(seconds, closedGopFrames, audioKbps)) /
                              muxFactor;
    const double kbps = std::floor(videoBytes * 8 / seconds / 1000);
    if (kbps < lowestKbps)
        return std::nullopt;
    const int videoKbps = int(std::min<double>(kbps, highestFitKbps));
    return DiscFit{videoKbps, fitPeakKbps};
}

qint64 projectedImageBytes(qint64 writtenBytes, double reachedSeconds, double expectedSeconds) {
    const double share = std::clamp(reachedSeconds / expectedSeconds, 1e-6, 1.0);
    const double mpeg = double(writtenBytes) / share;
    // The IFO files of the shorter GOPs, the larger ones.
    return qint64(mpeg) + ifoFor(expectedSeconds, closedGopFrames) + isoStructureBytes;
}

QString expectedSizeLine(qint64 imageBytes, const Disc& disc) {
    return QStringLiteral("Voraussichtliche Größe: %1 (%2: %3)")
        .arg(GermanFormat::gigabytes(double(imageBytes)), disc.name,
             GermanFormat::gigabytes(double(disc.bytes)));
}

QString projectedSizeLine(qint64 imageBytes, const Disc& disc) {
    return QStringLiteral("Hochgerechnete Größe: %1 (%2: %3)")
        .arg(GermanFormat::gigabytes(double(imageBytes)), disc.name,
             GermanFormat::gigabytes(double(disc.bytes)));
}
