#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Whether the file systems a run writes to have room for what it writes.

// What a run writes into one folder.
struct PlannedWrite {
    QString folder;
    qint64 bytes = 0;
};

// A file system as the check sees it.
struct Volume {
    quint64 id = 0;
    qint64 freeBytes = 0;
};
using VolumeQuery = std::function<std::optional<Volume>(const QString& folder)>;

// The file system of folder, or of the nearest folder above it that exists (a folder a stage
// creates); nothing when none can be read. Free is what an ordinary user may fill.
std::optional<Volume> volumeOf(const QString& folder);

// What the files in a folder and all folders below it hold.
qint64 folderBytes(const QString& folder);

// Adds up what is written to each file system and fails with notEnoughSpace for the first one
// that has less free, naming the first folder written to it. A folder whose file system cannot
// be read is left to the tool that writes there.
void checkFreeSpace(const QList<PlannedWrite>& writes, const VolumeQuery& query = volumeOf);
