#include "Stage.h"

QString stageTitle(Stage stage) {
    switch (stage) {
    case Stage::encode:
        return QStringLiteral("Kodieren");
    case Stage::authoring:
        return QStringLiteral("VIDEO_TS");
    case Stage::image:
        return QStringLiteral("ISO");
    case Stage::burn:
        break;
    }
    return QStringLiteral("Brennen");
}
