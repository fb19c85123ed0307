// A fake tool for the streaming benchmark: writes numbered progress-style lines to standard
// error, alternately ended by CR and by LF, as fast as the pipe takes them.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    for (long i = 0; i < lines; ++i)
        std::fprintf(stderr, "frame=%8ld fps=250 q=2.0 size=  1024kB time=00:00:%05.2f x%c", i,
                     (i % 6000) / 100.0, i % 2 ? '\n' : '\r');
    return 0;
}
