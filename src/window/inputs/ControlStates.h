#pragma once

// Which controls of the main window may be used, from what the window knows.
struct WindowFacts {
    bool toolsOK = false;
    bool running = false;
    bool canPause = false; // the running stage can be paused
    bool source = false;
    bool destination = false;
    bool dvdFolder = false;
    bool iso = false;
};

struct ControlStates {
    bool chooseSource = false;
    bool chooseDestination = false;
    bool chooseISO = false;
    bool options = false; // picture, audio, quality and disc size pickers
    bool reloadAudio = false;
    bool start = false;
    bool pause = false;
    bool abort = false;
    bool burnOptions = false; // "DVD löschen", "Brennprüfung"
    bool videoTS = false;
    bool image = false;
    bool burn = false;

    friend bool operator==(const ControlStates&, const ControlStates&) = default;
};

ControlStates controlStates(const WindowFacts& facts);
