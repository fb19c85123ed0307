// A fake tool for the benchmarks: writes numbered progress-style lines to standard error,
// alternately ended by CR and by LF, as fast as the pipe takes them; with "errors" as second
// argument it writes one decoder error line per frame instead, as ffmpeg does on a damaged source.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    const bool errors = argc > 2 && std::strcmp(argv[2], "errors") == 0;
    for (long i = 0; i < lines; ++i) {
        if (errors)
            std::fprintf(stderr, "[h264 @ 0x5581c0] error while decoding MB %ld 17, frame %ld\n",
                         i % 80, i);
        else
            std::fprintf(stderr, "frame=%8ld fps=250 q=2.0 size=  1024kB time=00:00:%05.2f x%c", i,
                         (i % 6000) / 100.0, i % 2 ? '\n' : '\r');
    }
    return 0;
}
