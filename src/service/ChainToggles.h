#pragma once

#include "Stage.h"

// Which stages follow a stage that succeeded, as the chain toggles of the main window say.
struct ChainToggles {
    bool createVideoTSAfterConvert = true;
    bool createISOAfterVideoTS = true;
    bool burnAfterISO = false;

    // The last stage a run from `from` reaches: each toggle chains the next stage, as long as
    // the ones before it are chained too.
    Stage lastStageFrom(Stage from) const;
};
