#pragma once

#include <QString>

// A file that a tool writes under a short temporary name beside its target, and that gets its
// final name only when it is complete. Until then an older file at the target stays as it was;
// a pending file that is never completed is removed, at the latest when this object goes.
class PendingFile {
public:
    // Fails with FFmpegError::fileFailed when no file can be made beside the target.
    explicit PendingFile(const QString& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    QString path() const { return m_path; }
    QString target() const { return m_target; }
    // Gives the file its final name, replacing an older file there at once. Fails with
    // FFmpegError::fileFailed.
    void complete();

private:
    QString m_target;
    QString m_path;
    bool m_completed = false;
};
