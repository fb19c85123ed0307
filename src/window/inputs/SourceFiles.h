#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Which files Kestrin takes as a source: from the file panel, the command line or a drop.

// The name filter of the open panel.
QString videoNameFilter();

// Where the files come from: the refusal of several files names how they were given.
enum class SourceOrigin { drop, commandLine };

// The one video file to take as the source, or why what was given is not one: not there,
// unreadable, not a video, or not one file.
struct SourceVerdict {
    std::optional<QString> source; // absolute path
    QString refusal;               // German status line
};
SourceVerdict judgeSource(const QList<QUrl>& files, SourceOrigin origin);
