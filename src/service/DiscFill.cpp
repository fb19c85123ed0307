#include "DiscFill.h"

#include "DiscVerdict.h"
#include "platform/GermanFormat.h"

#include <cmath>

std::optional<DiscFill> discFillFor(const VideoProbe& probe, const EncodeSettings& settings) {
    const EncodePlan plan = planEncode(probe, settings);
    // "Passend" finds no bitrate that fits: even the lowest sensible one overflows the disc.
    if (plan.tooLongForDisc && plan.expectedDuration)
        return DiscFill{
            100, QStringLiteral("Zu lang für die %1").arg(settings.disc.name),
            FFmpegError::tooLongForDisc(*plan.expectedDuration, settings.disc.name).description()};
    if (!plan.size)
        return std::nullopt;
    return discFill(plan.size->imageBytes, settings.disc);
}

DiscFill discFill(qint64 imageBytes, const Disc& disc) {
    const double share = disc.bytes > 0 ? double(imageBytes) / double(disc.bytes) : 0;
    DiscFill fill;
    fill.percent = int(std::lround(share * 100));
    fill.text = QStringLiteral("%1 von %2 · %3 %")
                    .arg(GermanFormat::number(double(imageBytes) / 1e9, 2),
                         GermanFormat::gigabytes(double(disc.bytes)))
                    .arg(fill.percent);
    if (const DiscVerdict verdict = judgeImageSize(imageBytes, disc, true); verdict.refusal)
        fill.overflow = verdict.refusal->description();
    return fill;
}
