#include "DiscVerdict.h"

#include "platform/GermanFormat.h"

DiscVerdict judgeImageSize(qint64 imageBytes, const Disc& disc, bool burns) {
    if (imageBytes <= disc.bytes)
        return {};
    if (burns) {
        const Disc larger = dualLayerDisc();
        return {FFmpegError::discTooSmall(imageBytes, disc.name, disc.bytes,
                                          disc.bytes < larger.bytes ? std::optional(larger.name)
                                                                    : std::nullopt),
                {}};
    }
    return {{},
            QStringLiteral("Warnung: Das Abbild wird voraussichtlich %1 groß und passt nicht auf "
                           "eine %2 (%3).")
                .arg(GermanFormat::gigabytes(double(imageBytes)), disc.name,
                     GermanFormat::gigabytes(double(disc.bytes)))};
}
