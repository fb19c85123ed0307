#include "PendingFile.h"

#include "FFmpegError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

PendingFile::PendingFile(const QString& target)
    : m_target(target) {
    const QFileInfo info(target);
    // Not closed on exec: the tool that writes the file inherits the descriptor.
    m_fd = ::open(encoded(info.absolutePath()).constData(), O_TMPFILE | O_RDWR, 0666);
    if (m_fd >= 0)
        return;
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.kestrin-XXXXXX.") + info.suffix());
    file.setAutoRemove(false);
    if (!file.open())
        throw FFmpegError::fileFailed(target, file.errorString());
    // A temporary file is made for its owner alone; the result is an ordinary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.handle(), 0666 & ~mask);
    m_hidden = file.fileName();
}

PendingFile::~PendingFile() {
    if (!m_hidden.isEmpty() && !m_completed)
        QFile::remove(m_hidden);
    if (m_fd >= 0)
        ::close(m_fd);
}

QString PendingFile::path() const {
    return m_hidden.isEmpty() ? QStringLiteral("/proc/self/fd/%1").arg(m_fd) : m_hidden;
}

void PendingFile::complete() {
    if (m_hidden.isEmpty()) {
        // A name can only be linked where none exists: straight to the target when it is free,
        // otherwise to a short hidden name that then replaces the target.
        const QByteArray self = encoded(path());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, encoded(m_target).constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            m_completed = true;
            return;
        }
        if (errno != EEXIST)
            fail(m_target);
        const QFileInfo info(m_target);
        for (int attempt = 0; m_hidden.isEmpty() && attempt < 100; ++attempt) {
            const QString hidden = info.absolutePath() +
                                   QStringLiteral("/.kestrin-%1-%2").arg(::getpid()).arg(attempt);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, encoded(hidden).constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                m_hidden = hidden;
            else if (errno != EEXIST)
                fail(m_target);
        }
    }
    // rename() replaces an older file in one step: there is always a whole file at the target.
    if (std::rename(encoded(m_hidden).constData(), encoded(m_target).constData()) != 0)
        fail(m_target);
    m_completed = true;
}

void PendingFile::fail(const QString& what) const {
    throw FFmpegError::fileFailed(what, QString::fromLocal8Bit(std::strerror(errno)));
}
