#include "ControlStates.h"

ControlStates controlStates(const WindowFacts& f) {
    const bool idle = !f.running;
    const bool canRun = idle && f.toolsOK;
    ControlStates states;
    states.chooseSource = idle;
    states.chooseDestination = idle && f.source;
    states.chooseISO = idle && f.dvdFolder;
    states.options = canRun;
    states.reloadAudio = canRun && f.source;
    states.start = canRun && f.source && f.destination;
    states.pause = f.running && f.canPause;
    states.abort = f.running;
    states.burnOptions = idle;
    states.videoTS = canRun && f.destination;
    states.image = canRun && f.dvdFolder;
    states.burn = canRun && f.iso;
    return states;
}
