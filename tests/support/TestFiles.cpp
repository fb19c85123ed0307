#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace testing {

QString writeScript(const QTemporaryDir& dir, const QString& name, const QString& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        QTest::qFail(qPrintable("cannot write " + path), __FILE__, __LINE__);
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.close();
    file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
    return path;
}

ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QMap<QString, QString>& environment) {
    QProcess process;
    QProcessEnvironment merged = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        merged.insert(it.key(), it.value());
    process.setProcessEnvironment(merged);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray runOrFail(const QString& program, const QStringList& arguments) {
    const ProgramRun run = runProgram(program, arguments);
    if (run.exitCode != 0)
        QTest::qFail(qPrintable(program + " failed: " + run.errorOutput), __FILE__, __LINE__);
    return run.output;
}

QString makeClip(const QTemporaryDir& dir, const QString& name, const QStringList& arguments) {
    const QString path = dir.filePath(name);
    runOrFail(QStringLiteral("ffmpeg"),
              QStringList{"-v", "error", "-y"} + arguments + QStringList{path});
    return path;
}

QJsonObject probeStreams(const QString& path) {
    const QByteArray json =
        runOrFail(QStringLiteral("ffprobe"),
                  {"-v", "error", "-show_entries",
                   "stream=codec_type,codec_name,width,height,avg_frame_rate,display_aspect_ratio,"
                   "sample_rate,channels,bit_rate:format=duration",
                   "-of", "json", path});
    return QJsonDocument::fromJson(json).object();
}

QList<qint64> childProcesses(qint64 parent) {
    QList<qint64> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid …; comm may hold blanks and parentheses.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children << pid;
    }
    return children;
}

bool processExists(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

char processState(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    // pid (comm) state …; a process that is just ending may leave the file empty.
    const QByteArray text = stat.readAll();
    const qsizetype state = text.lastIndexOf(')') + 2;
    return state > 1 && state < text.size() ? text.at(state) : '?';
}

} // namespace testing
