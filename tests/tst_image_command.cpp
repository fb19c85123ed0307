// Our hdiutil command: a DVD-Video image from a VIDEO_TS folder through the real genisoimage,
// judged with isoinfo; what is left after failures, full disks and endings by signal.
//
// Most cases run twice: with the image written into a file without a name (O_TMPFILE), and with
// the hidden file used where a file system cannot make one (O_TMPFILE refused by a preloaded
// library, as NFS or FUSE would).
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/stat.h>

using namespace testing;

namespace {

const QString hdiutilPath = QStringLiteral(KESTRIN_HDIUTIL);
const QString failed = QStringLiteral("hdiutil: genisoimage ist fehlgeschlagen, kein Abbild "
                                      "geschrieben: ");

QStringList makehybrid(const QString& volume, const QString& base, const QString& folder) {
    return {"makehybrid", "-udf", "-iso", "-joliet", "-default-volume-name",
            volume,       "-o",   base,   folder};
}

QMap<QString, QString> environment(bool hiddenFile, const QString& path = {}) {
    QMap<QString, QString> entries;
    if (hiddenFile)
        entries.insert("LD_PRELOAD", QStringLiteral(KESTRIN_NO_TMPFILE));
    if (!path.isNull())
        entries.insert("PATH", path);
    return entries;
}

void addWritingRows(const std::function<void(const QString&, bool)>& addRows) {
    addRows(QStringLiteral("unnamed file"), false);
    addRows(QStringLiteral("hidden file"), true);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Every entry of a folder, hidden ones included.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString lastLine(const QString& text) {
    return text.trimmed().split('\n').last();
}

int permissions(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// A process that has ended and only waits to be reaped counts as gone.
bool processGone(qint64 pid) {
    const char state = processState(pid);
    return state == '?' || state == 'Z' || state == 'X';
}

qint64 parentOf(qint64 pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

// A genisoimage that writes part of an image to the file it was given and then does what the
// body says.
QString fakeGenisoimage(const QTemporaryDir& dir, const QString& body) {
    QDir().mkpath(dir.filePath("fakes"));
    writeScript(dir, "fakes/genisoimage",
                "while [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=$2; shift; done\n"
                "echo half > \"$out\"\n" +
                    body);
    return dir.filePath("fakes");
}

// Sets the process umask, which the command inherits, until the guard ends.
auto withUmask(mode_t mask) {
    const mode_t previous = ::umask(mask);
    return qScopeGuard([previous] { ::umask(previous); });
}

} // namespace

class ImageCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dvdFolder;

    QString videoTs(const QString& file) const { return m_dvdFolder + "/VIDEO_TS/" + file; }

    // isoinfo's view of an image: its volume name, and whether the DVD's files read back as
    // they are in the folder.
    void verifyImage(const QString& iso, const QString& volume) {
        const ProgramRun info = runProgram("isoinfo", {"-d", "-i", iso});
        QCOMPARE(info.exitCode, 0);
        QVERIFY2(info.output.contains("Volume id: " + volume.toUtf8() + "\n"), info.output);
        const QByteArray image = readAll(iso);
        QVERIFY(image.mid(16 * 2048, 8 * 2048).contains("BEA01"));
        QVERIFY(image.mid(16 * 2048, 8 * 2048).contains("NSR02"));
        for (const QString file : {"VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_01_1.VOB"}) {
            const ProgramRun extracted =
                runProgram("isoinfo", {"-i", iso, "-x", "/VIDEO_TS/" + file + ";1"});
            QCOMPARE(extracted.exitCode, 0);
            QVERIFY2(extracted.output == readAll(videoTs(file)), qPrintable(file));
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const QString mpg = m_dir.filePath("clip.mpg");
        const ProgramRun clip =
            runProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                  "testsrc2=s=352x288:r=25:d=1", "-f", "lavfi", "-i", "sine=d=1",
                                  "-target", "pal-dvd", "-s", "352x288", mpg});
        QVERIFY2(clip.exitCode == 0, qPrintable(clip.errorOutput));
        m_dvdFolder = m_dir.filePath("Reise_DVD");
        for (const QStringList& arguments :
             {QStringList{"-o", m_dvdFolder, "-t", mpg}, QStringList{"-o", m_dvdFolder, "-T"}}) {
            const ProgramRun authored =
                runProgram("dvdauthor", arguments, {{"VIDEO_FORMAT", "PAL"}});
            QVERIFY2(authored.exitCode == 0, qPrintable(authored.errorOutput));
        }
        QVERIFY(QFile::exists(videoTs("VTS_01_1.VOB")));
    }

    void imageIsADvdVideoDisc_data() {
        QTest::addColumn<bool>("hiddenFile");
        addWritingRows(
            [](const QString& tag, bool hidden) { QTest::newRow(qPrintable(tag)) << hidden; });
    }
    void imageIsADvdVideoDisc() {
        QFETCH(bool, hiddenFile);
        QTemporaryDir target;
        const QString base = target.filePath("Reise DVD");
        for (const QString volume : {"REISE_2026", "ZWEITER_LAUF"}) {
            // The second run replaces the first image.
            const ProgramRun made = runProgram(hdiutilPath, makehybrid(volume, base, m_dvdFolder),
                                               environment(hiddenFile));
            QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
            verifyImage(base + ".iso", volume);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(entries(target.path()), QStringList{"Reise DVD.iso"});
        }
    }

    void imageModeFollowsTheUmask_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("olderImage");
        QTest::addColumn<int>("mode");
        addWritingRows([](const QString& tag, bool hidden) {
            for (const bool older : {false, true}) {
                const QString where = older ? " over an older 0600 image" : "";
                QTest::addRow("%s, umask 022%s", qPrintable(tag), qPrintable(where))
                    << hidden << 0022 << older << 0644;
                QTest::addRow("%s, umask 027%s", qPrintable(tag), qPrintable(where))
                    << hidden << 0027 << older << 0640;
                QTest::addRow("%s, umask 002%s", qPrintable(tag), qPrintable(where))
                    << hidden << 0002 << older << 0664;
            }
        });
    }
    void imageModeFollowsTheUmask() {
        QFETCH(bool, hiddenFile);
        QFETCH(int, mask);
        QFETCH(bool, olderImage);
        QFETCH(int, mode);
        QTemporaryDir target;
        const QString iso = target.filePath("Film.iso");
        if (olderImage) {
            QVERIFY(writeFile(iso, "alt"));
            QVERIFY(QFile::setPermissions(iso, QFile::ReadOwner | QFile::WriteOwner));
        }
        const auto restore = withUmask(mode_t(mask));
        const ProgramRun made =
            runProgram(hdiutilPath, makehybrid("FILM", target.filePath("Film"), m_dvdFolder),
                       environment(hiddenFile));
        QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
        QCOMPARE(QString::number(permissions(iso), 8), QString::number(mode, 8));
    }

    // 251 bytes and ".iso" give 255, the longest name the file system takes.
    void longestNamesWork_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<QString>("name");
        addWritingRows([](const QString& tag, bool hidden) {
            QTest::addRow("%s, ASCII", qPrintable(tag)) << hidden << QString(251, 'F');
            QTest::addRow("%s, UTF-8", qPrintable(tag))
                << hidden << "Straße" + QString(122, QChar(0x00e4));
        });
    }
    void longestNamesWork() {
        QFETCH(bool, hiddenFile);
        QFETCH(QString, name);
        QCOMPARE(QFile::encodeName(name).size(), 251);
        QTemporaryDir target;
        for (const QString volume : {"LANG", "NOCH_LAENGER"}) {
            // The second run replaces the first image.
            const ProgramRun made =
                runProgram(hdiutilPath, makehybrid(volume, target.filePath(name), m_dvdFolder),
                           environment(hiddenFile));
            QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
            QCOMPARE(entries(target.path()), QStringList{name + ".iso"});
            verifyImage(target.filePath(name + ".iso"), volume);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void argumentFailuresKeepTheOldImage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        // %d stands for the DVD folder, %t for the target folder, %b for the image's base path.
        const QStringList usual = makehybrid("X", "%b", "%d").mid(0, 8);
        QTest::newRow("unknown command")
            << QStringList{"attach", "%d"} << QString() << "unbekannter Befehl: attach";
        QTest::newRow("no command") << QStringList{} << QString() << "kein Befehl angegeben";
        QTest::newRow("unknown option")
            << usual + QStringList{"-hfs", "%d"} << QString() << "unbekannte Option: -hfs";
        QTest::newRow("missing folder")
            << usual + QStringList{"%d/fehlt"} << QString() << "Quellordner nicht gefunden: ";
        QTest::newRow("no folder") << usual << QString() << "genau ein Quellordner erwartet";
        QTest::newRow("no target")
            << QStringList{"makehybrid", "%d"} << QString() << "Ziel fehlt (-o)";
        QTest::newRow("value missing")
            << QStringList{"makehybrid", "%d", "-o"} << QString() << "Wert fehlt nach -o";
        QTest::newRow("no genisoimage") << usual + QStringList{"%d"} << QStringLiteral("/nowhere")
                                        << "genisoimage nicht gefunden";
        QTest::newRow("target folder missing")
            << makehybrid("X", "%t/fehlt/Film", "%d") << QString()
            << "Zieldatei kann nicht angelegt werden: ";
    }
    void argumentFailuresKeepTheOldImage() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, path);
        QFETCH(QString, message);
        QTemporaryDir target;
        const QString base = target.filePath("Film");
        QVERIFY(writeFile(base + ".iso", "alt"));
        arguments.replaceInStrings("%d", m_dvdFolder)
            .replaceInStrings("%t", target.path())
            .replaceInStrings("%b", base);
        const ProgramRun result = runProgram(hdiutilPath, arguments, environment(false, path));
        QVERIFY(result.exitCode > 0);
        QCOMPARE(result.errorOutput.count('\n'), 1);
        QVERIFY2(result.errorOutput.startsWith("hdiutil: " + message),
                 qPrintable(result.errorOutput));
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(base + ".iso"), QByteArray("alt"));
    }

    void toolFailuresKeepTheOldImage_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errorOutput");
        addWritingRows([](const QString& tag, bool hidden) {
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::addRow("%s, %s", qPrintable(tag), name) << hidden;
            };
            row("reason on the last line")
                << "echo 'genisoimage: Warning: creating filesystem with Joliet extensions' >&2\n"
                   "echo 'genisoimage: Input/output error. cannot fwrite 2048*1' >&2\nexit 5"
                << 5
                << "genisoimage: Warning: creating filesystem with Joliet extensions\n"
                   "genisoimage: Input/output error. cannot fwrite 2048*1\n" +
                       failed + "genisoimage: Input/output error. cannot fwrite 2048*1\n";
            row("last line without line end")
                << "printf 'genisoimage: erste\\ngenisoimage: letzte' >&2\nexit 4" << 4
                << "genisoimage: erste\ngenisoimage: letzte\n" + failed + "genisoimage: letzte\n";
            row("blank lines after the reason")
                << "printf 'genisoimage: Grund \\r\\n\\n  \\n' >&2\nexit 3" << 3
                << "genisoimage: Grund \r\n\n  \n" + failed + "genisoimage: Grund\n";
            row("no reason given") << "exit 3" << 3 << failed + "Exit Code 3\n";
            row("killed by a signal")
                << "echo 'genisoimage: Schreibe' >&2\nkill -KILL $$" << 128 + SIGKILL
                << "genisoimage: Schreibe\n" + failed + "beendet durch Signal 9 (SIGKILL)\n";
        });
    }
    void toolFailuresKeepTheOldImage() {
        QFETCH(bool, hiddenFile);
        QFETCH(QString, body);
        QFETCH(int, exitCode);
        QFETCH(QString, errorOutput);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString base = target.filePath("Film");
        QVERIFY(writeFile(base + ".iso", "alt"));
        const ProgramRun result = runProgram(hdiutilPath, makehybrid("X", base, m_dvdFolder),
                                             environment(hiddenFile, fakeGenisoimage(tools, body)));
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.errorOutput, errorOutput);
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(base + ".iso"), QByteArray("alt"));
    }

    // Started with standard error closed, the command must not take descriptor 2 for the image,
    // or what genisoimage says would end up inside it.
    void closedStandardErrorStaysOutOfTheImage_data() {
        QTest::addColumn<bool>("hiddenFile");
        addWritingRows(
            [](const QString& tag, bool hidden) { QTest::newRow(qPrintable(tag)) << hidden; });
    }
    void closedStandardErrorStaysOutOfTheImage() {
        QFETCH(bool, hiddenFile);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString fakes =
            fakeGenisoimage(tools, "echo 'genisoimage: Warnung' >&2\nprintf BILD > \"$out\"");
        const ProgramRun result =
            runProgram("sh",
                       QStringList{"-c", "exec \"$0\" \"$@\" 2>&-", hdiutilPath} +
                           makehybrid("X", target.filePath("Film"), m_dvdFolder),
                       environment(hiddenFile, fakes));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(target.filePath("Film.iso")), QByteArray("BILD"));
    }

    void unstartableGenisoimageKeepsTheOldImage_data() {
        QTest::addColumn<bool>("hiddenFile");
        addWritingRows(
            [](const QString& tag, bool hidden) { QTest::newRow(qPrintable(tag)) << hidden; });
    }
    void unstartableGenisoimageKeepsTheOldImage() {
        QFETCH(bool, hiddenFile);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString fake = tools.filePath("genisoimage");
        QVERIFY(writeFile(fake, "#!/nicht/da\n"));
        QVERIFY(QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner));
        const QString base = target.filePath("Film");
        QVERIFY(writeFile(base + ".iso", "alt"));
        const ProgramRun result = runProgram(hdiutilPath, makehybrid("X", base, m_dvdFolder),
                                             environment(hiddenFile, tools.path()));
        const QString reason =
            QStringLiteral("genisoimage konnte nicht gestartet werden: No such file or directory");
        QCOMPARE(result.exitCode, 127);
        QCOMPARE(result.errorOutput, reason + "\n" + failed + reason + "\n");
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(base + ".iso"), QByteArray("alt"));
    }

    // On a real full file system: a tmpfs too small for the image, mounted in a mount namespace
    // of our own (a user namespace makes that possible without root).
    void fullDiskReasonIsTheLastLine_data() {
        QTest::addColumn<bool>("hiddenFile");
        addWritingRows(
            [](const QString& tag, bool hidden) { QTest::newRow(qPrintable(tag)) << hidden; });
    }
    void fullDiskReasonIsTheLastLine() {
        QFETCH(bool, hiddenFile);
        QTemporaryDir mountPoint;
        const QString script =
            QStringLiteral("mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 90\n"
                           "echo bereit\nprintf alt > \"$1/Voll.iso\"\n"
                           "\"$2\" makehybrid -udf -iso -joliet -default-volume-name VOLL "
                           "-o \"$1/Voll\" \"$3\"\n"
                           "status=$?\nls -A \"$1\"\ncat \"$1/Voll.iso\"\nexit $status");
        const ProgramRun run =
            runProgram("unshare",
                       {"--user", "--map-root-user", "--mount", "sh", "-c", script, "sh",
                        mountPoint.path(), hdiutilPath, m_dvdFolder},
                       environment(hiddenFile));
        if (!run.output.startsWith("bereit\n"))
            QFAIL(qPrintable("A small tmpfs cannot be mounted here (unshare --user "
                             "--map-root-user --mount, then mount -t tmpfs; user namespaces "
                             "may be switched off): " +
                             run.errorOutput));
        // genisoimage ends with the error number, ENOSPC.
        QCOMPARE(run.exitCode, 28);
        QVERIFY2(
            lastLine(run.errorOutput).startsWith(failed + "genisoimage: No space left on device."),
            qPrintable(run.errorOutput));
        QCOMPARE(run.output, QByteArray("bereit\nVoll.iso\nalt"));
    }

    void endingLeavesNothingBehind_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<int>("signal");
        addWritingRows([](const QString& tag, bool hidden) {
            for (const int signal : {SIGTERM, SIGINT, SIGHUP})
                QTest::addRow("%s, SIG%s", qPrintable(tag), sigabbrev_np(signal))
                    << hidden << signal;
        });
        // Nothing can remove a named file after SIGKILL: only the unnamed file vanishes by itself.
        QTest::newRow("unnamed file, SIGKILL") << false << int(SIGKILL);
    }
    void endingLeavesNothingBehind() {
        QFETCH(bool, hiddenFile);
        QFETCH(int, signal);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString ready = tools.filePath("ready");
        const QString fakes =
            fakeGenisoimage(tools, "echo $$ > '" + ready + "'.new\n/bin/mv '" + ready + "'.new '" +
                                       ready + "'\nexec /bin/sleep 60");
        QVERIFY(writeFile(target.filePath("Film.iso"), "alt"));

        QProcess hdiutil;
        QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
        for (const auto& [key, value] : environment(hiddenFile, fakes).asKeyValueRange())
            processEnvironment.insert(key, value);
        hdiutil.setProcessEnvironment(processEnvironment);
        hdiutil.start(hdiutilPath, makehybrid("X", target.filePath("Film"), m_dvdFolder));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 20000);
        const qint64 writer = readAll(ready).trimmed().toLongLong();
        const auto noWriterLeft = qScopeGuard([writer] {
            if (!processGone(writer))
                ::kill(pid_t(writer), SIGKILL);
        });
        QCOMPARE(parentOf(writer), hdiutil.processId());

        // While the image is written, it has no name, or a short hidden one.
        const QStringList writing = entries(target.path());
        if (hiddenFile) {
            QCOMPARE(writing.size(), 2);
            QVERIFY2(writing.first().startsWith('.') && writing.first().size() <= 16,
                     qPrintable(writing.first()));
        } else {
            QCOMPARE(writing, QStringList{"Film.iso"});
        }

        ::kill(pid_t(hdiutil.processId()), signal);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(writer), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(hdiutil.state(), QProcess::NotRunning, 20000);
        if (signal == SIGKILL) {
            QCOMPARE(hdiutil.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(hdiutil.exitStatus(), QProcess::NormalExit);
            QCOMPARE(hdiutil.exitCode(), 128 + signal);
        }
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(target.filePath("Film.iso")), QByteArray("alt"));
    }
};

QTEST_GUILESS_MAIN(ImageCommandTest)
#include "tst_image_command.moc"
