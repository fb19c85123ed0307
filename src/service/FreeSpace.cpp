#include "FreeSpace.h"

#include "FFmpegError.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>
#include <sys/statvfs.h>

std::optional<Volume> volumeOf(const QString& folder) {
    QString existing = QFileInfo(folder).absoluteFilePath();
    while (!QFileInfo(existing).isDir()) {
        const QString above = QFileInfo(existing).path();
        if (above == existing)
            return std::nullopt;
        existing = above;
    }
    const QByteArray path = QFile::encodeName(existing);
    struct stat status {};
    struct statvfs space {};
    if (::stat(path.constData(), &status) != 0 || ::statvfs(path.constData(), &space) != 0)
        return std::nullopt;
    return Volume{quint64(status.st_dev), qint64(space.f_bavail) * qint64(space.f_frsize)};
}

qint64 folderBytes(const QString& folder) {
    qint64 bytes = 0;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        bytes += files.fileInfo().size();
    }
    return bytes;
}

void checkFreeSpace(const QList<PlannedWrite>& writes, const VolumeQuery& query) {
    struct Need {
        QString folder;
        Volume volume;
        qint64 bytes = 0;
    };
    QList<Need> needs;
    for (const PlannedWrite& write : writes) {
        const std::optional<Volume> volume = query(write.folder);
        if (!volume)
            continue;
        auto need = std::find_if(needs.begin(), needs.end(),
                                 [&](const Need& n) { return n.volume.id == volume->id; });
        if (need == needs.end())
            needs.append({write.folder, *volume, write.bytes});
        else
            need->bytes += write.bytes;
    }
    for (const Need& need : needs)
        if (need.bytes > need.volume.freeBytes)
            throw FFmpegError::notEnoughSpace(need.folder, need.bytes, need.volume.freeBytes);
}
