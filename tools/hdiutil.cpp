// hdiutil for Kestrin on Linux: understands the one call the main window makes,
//
//   hdiutil makehybrid -udf -iso -joliet -default-volume-name NAME -o BASE DIR
//
// and writes the DVD-Video image BASE.iso from DIR with genisoimage (ISO 9660 + UDF bridge, as
// DVD players expect; genisoimage drops Joliet for DVD-Video, which players do not need).
//
// A file under the target's name is always a complete image: genisoimage writes into a file
// without a name in the target's folder, which vanishes with its last descriptor however this
// command ends (even by SIGKILL), and which gets its name only when complete, so an older image at
// the target stays intact until then. Where the file system cannot make such a file, a hidden file
// with a short name takes its place and is removed on failure and on SIGTERM, SIGINT or SIGHUP.
// genisoimage dies with this command. Exit status 0 only for a complete image; when genisoimage
// fails, the last line on standard error carries the reason it gave.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Request {
    std::string volumeName;
    std::string base;
    std::string folder;
};

volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_signal = 0;

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};

void forwardSignal(int signal) {
    g_signal = signal;
    if (g_child > 0)
        ::kill(g_child, SIGTERM);
}

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "hdiutil: %s\n", message.c_str());
    return status;
}

std::string systemError(int error) {
    return std::strerror(error);
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

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Descriptors 0 to 2 are taken first, so that no file opened later can become one of them.
void occupyStandardDescriptors() {
    for (;;) {
        const int fd = ::open("/dev/null", O_RDWR);
        if (fd < 0)
            return;
        if (fd > 2) {
            ::close(fd);
            return;
        }
    }
}

// The image while genisoimage writes it. Temporary names stay short, so that every name the file
// system accepts for the target works.
class ImageFile {
public:
    // Returns false with an error text when no file can be made beside the target.
    bool create(const std::string& target, std::string& error) {
        m_folder = folderOf(target);
        // Inherited by genisoimage, which writes to it through /proc/self/fd.
        m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY, 0666);
        if (m_fd >= 0)
            return true;
        m_hiddenPath = m_folder + "/.hdiutil-XXXXXX";
        m_fd = ::mkostemp(m_hiddenPath.data(), O_CLOEXEC);
        if (m_fd < 0) {
            m_hiddenPath.clear();
            error =
                "Zieldatei kann nicht angelegt werden: " + target + " (" + systemError(errno) + ")";
            return false;
        }
        // mkostemp makes the file 0600; the image is an ordinary file for everyone who may read.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
        return true;
    }

    // The path genisoimage is to write to.
    std::string pathForWriter() const {
        return m_hiddenPath.empty() ? "/proc/self/fd/" + std::to_string(m_fd) : m_hiddenPath;
    }

    // Gives the complete image the target's name, replacing an older file there.
    bool publish(const std::string& target, std::string& error) {
        if (m_hiddenPath.empty() && !linkUnnamed(target, error))
            return false;
        if (!m_hiddenPath.empty() && ::rename(m_hiddenPath.c_str(), target.c_str()) != 0) {
            error =
                "Abbild kann nicht abgelegt werden: " + target + " (" + systemError(errno) + ")";
            discard();
            return false;
        }
        m_hiddenPath.clear();
        ::close(m_fd);
        m_fd = -1;
        return true;
    }

    void discard() {
        if (!m_hiddenPath.empty())
            ::unlink(m_hiddenPath.c_str());
        m_hiddenPath.clear();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    // A name can only be linked where none exists: straight to the target when it is free,
    // otherwise to a hidden name that is then renamed over the target.
    bool linkUnnamed(const std::string& target, std::string& error) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        for (int attempt = 0; errno == EEXIST && attempt < 100; ++attempt) {
            const std::string hidden = m_folder + "/.hdiutil-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(attempt);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                m_hiddenPath = hidden;
                return true;
            }
        }
        error = "Abbild kann nicht abgelegt werden: " + target + " (" + systemError(errno) + ")";
        return false;
    }

    std::string m_folder;
    std::string m_hiddenPath;
    int m_fd = -1;
};

// Passes genisoimage's standard error through and keeps its last line that says something.
class ErrorPassThrough {
public:
    void forward(const char* data, size_t size) {
        [[maybe_unused]] const size_t written = std::fwrite(data, 1, size, stderr);
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\n' || data[i] == '\r')
                endLine();
            else
                m_current.push_back(data[i]);
        }
        m_lineOpen = data[size - 1] != '\n';
    }

    // Ends a line genisoimage left open, so that our own message stands on a line of its own.
    std::string finish() {
        if (m_lineOpen)
            std::fputc('\n', stderr);
        endLine();
        return m_last;
    }

private:
    void endLine() {
        const size_t end = m_current.find_last_not_of(" \t");
        if (end != std::string::npos)
            m_last = m_current.substr(0, end + 1);
        m_current.clear();
    }

    std::string m_current;
    std::string m_last;
    bool m_lineOpen = false;
};

std::string failureReason(const std::string& lastLine, int status) {
    if (WIFSIGNALED(status)) {
        const char* name = ::sigabbrev_np(WTERMSIG(status));
        return "beendet durch Signal " + std::to_string(WTERMSIG(status)) +
               (name ? " (SIG" + std::string(name) + ")" : "");
    }
    return lastLine.empty() ? "Exit Code " + std::to_string(WEXITSTATUS(status)) : lastLine;
}

void setEndingSignalsBlocked(bool blocked, sigset_t* previous = nullptr) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : endingSignals)
        sigaddset(&set, signal);
    ::sigprocmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, previous);
}

// In the child between fork and exec: genisoimage gets SIGKILL when this command dies, however
// it dies. Only async-signal-safe calls here.
[[noreturn]] void runWriter(pid_t parent, int errorPipe, const sigset_t& mask,
                            const std::string& program, char** argv) {
    for (int signal : endingSignals)
        ::signal(signal, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        ::_exit(128 + SIGKILL);
    ::dup2(errorPipe, STDERR_FILENO);
    ::execv(program.c_str(), argv);
    // Read by the parent as genisoimage's last line.
    const char* reason = ::strerrordesc_np(errno);
    for (const char* part :
         {"genisoimage konnte nicht gestartet werden: ", reason ? reason : "", "\n"}) {
        if (::write(STDERR_FILENO, part, std::strlen(part)) < 0)
            break;
    }
    ::_exit(127);
}

} // namespace

int main(int argc, char** argv) {
    // Lead a process group of our own, so that pausing or ending this command reaches
    // genisoimage too.
    ::setpgid(0, 0);
    occupyStandardDescriptors();

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

    // Ending the command (the window's abort) ends genisoimage; the image is then discarded.
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : endingSignals)
        ::sigaction(signal, &action, nullptr);

    const std::string target =
        endsWith(request->base, ".iso") ? request->base : request->base + ".iso";
    ImageFile image;
    if (!image.create(target, error))
        return fail(error);

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        image.discard();
        return fail("genisoimage konnte nicht gestartet werden (" + systemError(errno) + ")");
    }
    // Named plainly, so that its messages read "genisoimage: …" whatever folder it is in.
    std::vector<std::string> arguments{
        "genisoimage", "-dvd-video",          "-udf",         "-quiet", "-V", request->volumeName,
        "-o",          image.pathForWriter(), request->folder};
    std::vector<char*> argvChild;
    for (std::string& argument : arguments)
        argvChild.push_back(argument.data());
    argvChild.push_back(nullptr);

    // A signal that arrives before the child's id is known is handled once it is.
    sigset_t mask;
    setEndingSignalsBlocked(true, &mask);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0)
        runWriter(parent, errorPipe[1], mask, *genisoimage, argvChild.data());
    const int forkError = errno;
    ::close(errorPipe[1]);
    if (child < 0) {
        ::close(errorPipe[0]);
        image.discard();
        return fail("genisoimage konnte nicht gestartet werden (" + systemError(forkError) + ")");
    }
    g_child = child;
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);

    ErrorPassThrough errors;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(errorPipe[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        errors.forward(buffer, static_cast<size_t>(count));
    }
    ::close(errorPipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    // From here on the image is either discarded or given its name, never left half-way.
    setEndingSignalsBlocked(true);
    if (g_signal) {
        image.discard();
        return 128 + g_signal;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        image.discard();
        return fail("genisoimage ist fehlgeschlagen, kein Abbild geschrieben: " +
                        failureReason(errors.finish(), status),
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    if (!image.publish(target, error))
        return fail(error);
    return 0;
}
