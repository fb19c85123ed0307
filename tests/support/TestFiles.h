#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Files the tests make for themselves: small clips from ffmpeg's generators and fake tools.
namespace testing {

// Writes an executable shell script and returns its path.
QString writeScript(const QTemporaryDir& dir, const QString& name, const QString& body);

struct ProgramRun {
    int exitCode = -1;
    QByteArray output;
    QString errorOutput;
};

// Runs a program to its end, with extra environment entries, and returns what it did.
ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QMap<QString, QString>& environment = {});

// Runs a real tool to its end and returns its standard output; a non-zero status fails the test.
QByteArray runOrFail(const QString& program, const QStringList& arguments);

// Generates a clip with ffmpeg: the arguments come between "-y" and the output path.
QString makeClip(const QTemporaryDir& dir, const QString& name, const QStringList& arguments);

// Flags an MPEG-2 stream of film pictures at 23.976 frames per second as DVDs store film: shown at
// 29.97 with every other picture's first field repeated (3:2 pulldown flags). False when the
// file cannot be rewritten.
bool addPulldownFlags(const QString& path);

// ffprobe's JSON answer for a file's streams and format.
QJsonObject probeStreams(const QString& path);

// A file's bytes; empty when it cannot be read.
QByteArray fileContents(const QString& path);

// The processes whose parent is parent, from /proc.
QList<qint64> childProcesses(qint64 parent);

// Whether a process with this id still exists, and its state letter from /proc ('T' stopped).
bool processExists(qint64 pid);
char processState(qint64 pid);

} // namespace testing
