#include "PendingFile.h"

#include "FFmpegError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

PendingFile::PendingFile(const QString& target)
    : m_target(target) {
    // A short name, so that any name the file system takes for the target works.
    const QFileInfo info(target);
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.kestrin-XXXXXX.") +
                        info.suffix());
    file.setAutoRemove(false);
    if (!file.open())
        throw FFmpegError::fileFailed(target, file.errorString());
    m_path = file.fileName();
}

PendingFile::~PendingFile() {
    if (!m_completed)
        QFile::remove(m_path);
}

void PendingFile::complete() {
    // rename() replaces an older file in one step: there is always a whole file at the target.
    if (std::rename(QFile::encodeName(m_path).constData(),
                    QFile::encodeName(m_target).constData()) != 0)
        throw FFmpegError::fileFailed(m_target, QString::fromLocal8Bit(std::strerror(errno)));
    m_completed = true;
}
