// Preloaded (LD_PRELOAD), makes every open with O_TMPFILE fail with EOPNOTSUPP, as on file systems
// that cannot make a file without a name (NFS, FUSE, vfat); every other open goes to the kernel.
#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The mode argument is there only when a file may be made.
mode_t modeArgument(int flags, va_list arguments) {
    const bool hasMode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_openat, folder, path, flags, mode));
}

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openat(AT_FDCWD, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) __attribute__((alias("openat")));
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
}
