#include "RunChecks.h"

#include "FileNames.h"
#include "platform/GermanFormat.h"

#include <QFileInfo>

QList<PlannedWrite> runWrites(RunKind kind, const ChainToggles& toggles, const QString& input,
                              const std::optional<QString>& isoURL, const SizeForecast& size) {
    const QString dvdFolder = kind == RunKind::iso ? input : dvdFolderFor(input);
    QList<PlannedWrite> writes;
    for (std::optional<Stage> stage = firstStage(kind); stage;
         stage = nextStage(kind, *stage, toggles)) {
        switch (*stage) {
        case Stage::encode:
            writes.append({QFileInfo(input).path(), size.mpegBytes});
            break;
        case Stage::authoring:
            writes.append({dvdFolder, size.dvdFolderBytes});
            break;
        case Stage::image:
            writes.append({QFileInfo(isoTargetFor(isoURL, dvdFolder)).path(), size.imageBytes});
            break;
        case Stage::burn:
            break;
        }
    }
    return writes;
}

bool runBurns(RunKind kind, const ChainToggles& toggles) {
    std::optional<Stage> stage = firstStage(kind);
    while (stage && *stage != Stage::burn)
        stage = nextStage(kind, *stage, toggles);
    return stage.has_value();
}

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
