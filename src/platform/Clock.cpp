#include "Clock.h"

Clock& Clock::system() {
    static Clock clock;
    return clock;
}
