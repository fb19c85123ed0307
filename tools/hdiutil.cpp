// hdiutil for Kestrin on Linux: understands the one call the main window makes,
//
//   hdiutil makehybrid -udf -iso -joliet -default-volume-name NAME -o BASE DIR
//
// and writes the DVD-Video image BASE.iso from DIR with genisoimage (ISO 9660 + UDF bridge, as
// DVD players expect; genisoimage drops Joliet for DVD-Video, which players do not need).
// The image is written beside the target and renamed at the end, so an older image at the target
// stays intact until the new one is complete, and no half-written image is ever left behind,
// also when the command is terminated. Exit status 0 only for a complete image.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Request {
    std::string volumeName;
    std::string base;
    std::string folder;
};

volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_signal = 0;

void forwardSignal(int signal) {
    g_signal = signal;
    if (g_child > 0)
        ::kill(g_child, SIGTERM);
}

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "hdiutil: %s\n", message.c_str());
    return status;
}

// Returns the request, or an error message.
std::optional<Request> parse(int argc, char** argv, std::string& error) {
    if (argc < 2 || std::strcmp(argv[1], "makehybrid") != 0) {
        error = argc < 2 ? "kein Befehl angegeben (nur makehybrid wird unterstützt)"
                         : std::string("unbekannter Befehl: ") + argv[1] +
                               " (nur makehybrid wird unterstützt)";
        return std::nullopt;
    }
    Request request;
    std::vector<std::string> folders;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-udf" || argument == "-iso" || argument == "-joliet")
            continue;
        if (argument == "-default-volume-name" || argument == "-o") {
            if (i + 1 >= argc) {
                error = "Wert fehlt nach " + argument;
                return std::nullopt;
            }
            (argument == "-o" ? request.base : request.volumeName) = argv[++i];
            continue;
        }
        if (!argument.empty() && argument[0] == '-') {
            error = "unbekannte Option: " + argument;
            return std::nullopt;
        }
        folders.push_back(argument);
    }
    if (request.base.empty()) {
        error = "Ziel fehlt (-o)";
        return std::nullopt;
    }
    if (folders.size() != 1) {
        error = "genau ein Quellordner erwartet";
        return std::nullopt;
    }
    request.folder = folders.front();
    return request;
}

std::optional<std::string> findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // Lead a process group of our own, so that pausing or ending this command reaches
    // genisoimage too.
    ::setpgid(0, 0);

    std::string error;
    const std::optional<Request> request = parse(argc, argv, error);
    if (!request)
        return fail(error, 2);

    struct stat folderInfo {};
    if (::stat(request->folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
        return fail("Quellordner nicht gefunden: " + request->folder);
    const std::optional<std::string> genisoimage = findOnPath("genisoimage");
    if (!genisoimage)
        return fail("genisoimage nicht gefunden (sudo apt install genisoimage)");

    const std::string target =
        endsWith(request->base, ".iso") ? request->base : request->base + ".iso";
    std::string partial = target + ".partXXXXXX";
    const int partialFd = ::mkstemp(partial.data());
    if (partialFd < 0)
        return fail("Zieldatei kann nicht angelegt werden: " + target + " (" +
                    std::strerror(errno) + ")");
    ::close(partialFd);

    // Ending the command (the window's abort) ends genisoimage and removes the partial image.
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    std::vector<std::string> arguments{*genisoimage, "-dvd-video", "-udf",
                                       "-quiet",     "-V",         request->volumeName,
                                       "-o",         partial,      request->folder};
    std::vector<char*> argvChild;
    for (std::string& argument : arguments)
        argvChild.push_back(argument.data());
    argvChild.push_back(nullptr);

    pid_t child = 0;
    if (const int spawnError = ::posix_spawn(&child, genisoimage->c_str(), nullptr, nullptr,
                                             argvChild.data(), environ)) {
        ::unlink(partial.c_str());
        return fail("genisoimage konnte nicht gestartet werden (" +
                    std::string(std::strerror(spawnError)) + ")");
    }
    g_child = child;
    if (g_signal)
        ::kill(child, SIGTERM);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (g_signal) {
        ::unlink(partial.c_str());
        return 128 + g_signal;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ::unlink(partial.c_str());
        return fail("genisoimage ist fehlgeschlagen, kein Abbild geschrieben",
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    ::chmod(partial.c_str(), 0644);
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(partial.c_str());
        return fail("Abbild kann nicht abgelegt werden: " + target + " (" + reason + ")");
    }
    return 0;
}
