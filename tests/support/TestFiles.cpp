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

bool addPulldownFlags(const QString& path) {
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadWrite) ? file.readAll() : QByteArray();
    const QByteArray startCode("\0\0\1", 3);
    // Pictures in display order (no B-frames), each as top_field_first and repeat_first_field:
    // T B T, B T, B T B, T B.
    const char fieldFlags[] = {char(0x82), 0x00, 0x02, char(0x80)};
    int pictures = 0;
    for (qsizetype i = bytes.indexOf(startCode); i >= 0 && i + 9 <= bytes.size();
         i = bytes.indexOf(startCode, i + 3)) {
        char* const code = bytes.data() + i + 3;
        const int extension = quint8(code[1]) >> 4;
        if (quint8(code[0]) == 0xB3) // sequence header: frame_rate_code 4 is 29.97
            code[4] = char((code[4] & 0xF0) | 4);
        else if (quint8(code[0]) == 0xB5 && extension == 1) // progressive_sequence 0
            code[2] = char(code[2] & ~0x08);
        else if (quint8(code[0]) == 0xB5 && extension == 8) // picture coding extension
            code[4] = char((code[4] & 0x7D) | fieldFlags[pictures++ % 4]);
    }
    return pictures > 0 && file.seek(0) && file.write(bytes) == bytes.size();
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

namespace {

// The fields of /proc/PID/stat from the state on (comm may hold blanks and parentheses); empty
// for a process that is gone or just ending.
QList<QByteArray> statFields(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype end = text.lastIndexOf(')');
    return end < 0 || end + 2 >= text.size() ? QList<QByteArray>{} : text.mid(end + 2).split(' ');
}

} // namespace

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<qint64> childProcesses(qint64 parent) {
    QList<qint64> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong(); // 0, which has no entry, for the other folders
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children << pid;
    }
    return children;
}

bool processExists(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

char processState(qint64 pid) {
    const QList<QByteArray> fields = statFields(pid);
    return fields.isEmpty() ? '?' : fields[0].at(0);
}

} // namespace testing
