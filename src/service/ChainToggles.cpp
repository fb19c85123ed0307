#include "ChainToggles.h"

Stage ChainToggles::lastStageFrom(Stage from) const {
    const bool chained[] = {true, createVideoTSAfterConvert, createISOAfterVideoTS, burnAfterISO};
    int last = int(from);
    while (last < int(Stage::burn) && chained[last + 1])
        ++last;
    return Stage(last);
}
