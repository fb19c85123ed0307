#pragma once

#include <QString>

// A file that a tool writes beside its target and that gets the target's name only when it is
// complete; until then an older file at the target stays as it was. Where the file system allows,
// the pending file has no name at all (O_TMPFILE): the tool writes it through /proc/self/fd/N of a
// descriptor it inherits, and it vanishes however Kestrin ends, even when killed. Elsewhere it is
// a hidden file with a short name. A pending file that is never completed is removed, at the latest
// when this object goes.
class PendingFile {
public:
    // Fails with FFmpegError::fileFailed when no file can be made beside the target.
    explicit PendingFile(const QString& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Where the tool writes; a short path, so that any name the file system takes for the target
    // works.
    QString path() const;
    QString target() const { return m_target; }
    // Gives the file its final name, replacing an older file there at once. Fails with
    // FFmpegError::fileFailed.
    void complete();

private:
    void fail(const QString& what) const;

    QString m_target;
    QString m_hidden; // the hidden file's name, when it has one
    int m_fd = -1;    // the unnamed file
    bool m_completed = false;
};
