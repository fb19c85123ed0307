// Our hdiutil command: DVD-Video images made by the real genisoimage and read back with isoinfo;
// what is left after failures, a full disk and endings by signal. Cases run with the image written
// into a file without a name (O_TMPFILE), and into the hidden file used where a file system cannot
// make one (O_TMPFILE refused by a preloaded library).
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/stat.h>

using namespace testing;

namespace {

const QString hdiutil = QStringLiteral(KESTRIN_HDIUTIL);
const QString failed = "hdiutil: genisoimage ist fehlgeschlagen, kein Abbild geschrieben: ";
// A genisoimage that writes part of an image to the file it was given; rows say what it does next.
const QString halfWriter = "#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=$2; shift; "
                           "done\necho half > \"$out\"\n";

QStringList makehybrid(const QString& volume, const QString& base, const QString& folder) {
    return {"makehybrid", "-udf", "-iso", "-joliet", "-default-volume-name",
            volume,       "-o",   base,   folder};
}

const char* writing(bool hiddenFile) {
    return hiddenFile ? "hidden file" : "unnamed file";
}

QMap<QString, QString> environment(bool hiddenFile, const QString& path = {}) {
    QMap<QString, QString> entries;
    if (hiddenFile)
        entries.insert("LD_PRELOAD", QStringLiteral(KESTRIN_NO_TMPFILE));
    if (!path.isEmpty())
        entries.insert("PATH", path);
    return entries;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Written with mode 0600 unless told otherwise.
bool writeFile(const QString& path, const QByteArray& content,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           file.setPermissions(permissions);
}

// Puts a genisoimage into the folder and returns the folder.
QString toolFolder(const QTemporaryDir& dir, const QString& script) {
    writeFile(dir.filePath("genisoimage"), script.toUtf8(), QFile::ReadOwner | QFile::ExeOwner);
    return dir.path();
}

// Every entry of a folder, hidden ones included.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// A process that has ended and only waits to be reaped counts as gone.
bool processGone(qint64 pid) {
    return QByteArray("?ZX").contains(processState(pid));
}

} // namespace

class ImageCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dvdFolder;

    void verifyImage(const QString& iso, const QString& volume) {
        const ProgramRun info = runProgram("isoinfo", {"-d", "-i", iso});
        QVERIFY2(info.output.contains("Volume id: " + volume.toUtf8() + "\n"), info.output);
        const QByteArray descriptors = readAll(iso).mid(16 * 2048, 8 * 2048);
        QVERIFY(descriptors.contains("BEA01") && descriptors.contains("NSR02"));
        for (const QString file : {"VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_01_1.VOB"}) {
            const ProgramRun extracted =
                runProgram("isoinfo", {"-i", iso, "-x", "/VIDEO_TS/" + file + ";1"});
            QVERIFY2(extracted.exitCode == 0 &&
                         extracted.output == readAll(m_dvdFolder + "/VIDEO_TS/" + file),
                     qPrintable(file));
        }
    }

private slots:
    void initTestCase() {
        const QString mpg =
            makeClip(m_dir, "clip.mpg",
                     {"-f", "lavfi", "-i", "testsrc2=s=352x288:r=25:d=1", "-f", "lavfi", "-i",
                      "sine=d=1", "-target", "pal-dvd", "-s", "352x288"});
        m_dvdFolder = m_dir.filePath("Reise_DVD");
        for (const QStringList& arguments :
             {QStringList{"-o", m_dvdFolder, "-t", mpg}, QStringList{"-o", m_dvdFolder, "-T"}}) {
            const ProgramRun authored =
                runProgram("dvdauthor", arguments, {{"VIDEO_FORMAT", "PAL"}});
            QVERIFY2(authored.exitCode == 0, qPrintable(authored.errorOutput));
        }
    }

    // 251 bytes and ".iso" give 255, the longest name the file system takes. The image's mode
    // follows the umask, also where an older 0600 image stood.
    void writesAReadableImage_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("older");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        for (const bool hidden : {false, true}) {
            QTest::addRow("%s, over an older image", writing(hidden))
                << hidden << "Reise DVD" << true << 0022 << 0644;
            QTest::addRow("%s, 251 bytes of UTF-8", writing(hidden))
                << hidden << "Straße" + QString(122, QChar(0x00e4)) << false << 0027 << 0640;
        }
    }
    void writesAReadableImage() {
        QFETCH(bool, hiddenFile);
        QFETCH(QString, name);
        QFETCH(bool, older);
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir target;
        const QString iso = target.filePath(name + ".iso");
        if (older)
            QVERIFY(writeFile(iso, "alt"));
        const mode_t previousMask = ::umask(mode_t(mask));
        const auto restoreMask = qScopeGuard([previousMask] { ::umask(previousMask); });
        const ProgramRun made =
            runProgram(hdiutil, makehybrid("REISE_2026", target.filePath(name), m_dvdFolder),
                       environment(hiddenFile));
        QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
        QCOMPARE(entries(target.path()), QStringList{name + ".iso"});
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(iso).constData(), &info), 0);
        QCOMPARE(QString::number(info.st_mode & 07777, 8), QString::number(mode, 8));
        verifyImage(iso, "REISE_2026");
    }

    // %d stands for the DVD folder, %t for the target folder. An empty genisoimage script means
    // there is none on the PATH. Only a complete image, which the last row makes, replaces "alt".
    void onlyACompleteImageReplacesTheOlder_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("genisoimage");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errorOutput");
        const QStringList usual = makehybrid("X", "%t/Film", "%d");
        QTest::newRow("unknown option") << false << usual.mid(0, 8) + QStringList{"-hfs", "%d"}
                                        << halfWriter << 2 << "hdiutil: unbekannte Option: -hfs\n";
        QTest::newRow("missing folder")
            << false << usual.mid(0, 8) + QStringList{"%d/fehlt"} << halfWriter << 1
            << "hdiutil: Quellordner nicht gefunden: %d/fehlt\n";
        QTest::newRow("target folder missing")
            << false << makehybrid("X", "%t/fehlt/Film", "%d") << halfWriter << 1
            << "hdiutil: Zieldatei kann nicht angelegt werden: %t/fehlt/Film.iso (No such file or "
               "directory)\n";
        QTest::newRow("no genisoimage")
            << false << usual << QString() << 1
            << "hdiutil: genisoimage nicht gefunden (sudo apt install genisoimage)\n";
        const QString unstartable =
            "genisoimage konnte nicht gestartet werden: No such file or directory\n";
        for (const bool hidden : {false, true}) {
            const auto row = [&](const char* name, const QString& script, int exitCode,
                                 const QString& errorOutput) {
                QTest::addRow("%s, %s", writing(hidden), name)
                    << hidden << usual << script << exitCode << errorOutput;
            };
            row("reason among blank lines",
                halfWriter +
                    "printf 'genisoimage: Warnung\\ngenisoimage: Grund \\r\\n\\n  \\n' >&2\nexit 5",
                5,
                "genisoimage: Warnung\ngenisoimage: Grund \r\n\n  \n" + failed +
                    "genisoimage: Grund\n");
            row("last line open", halfWriter + "printf 'genisoimage: Grund' >&2\nexit 4", 4,
                "genisoimage: Grund\n" + failed + "genisoimage: Grund\n");
            row("no reason given", halfWriter + "exit 3", 3, failed + "Exit Code 3\n");
            row("killed by a signal", halfWriter + "kill -KILL $$", 128 + SIGKILL,
                failed + "beendet durch Signal 9 (SIGKILL)\n");
            row("unstartable", "#!/nicht/da\n", 127, unstartable + failed + unstartable);
            // Descriptor 2 closed at the start must not become the image, or what genisoimage
            // says would end up inside it.
            row("standard error closed",
                halfWriter + "echo 'genisoimage: Warnung' >&2\nprintf BILD > \"$out\"", 0, {});
        }
    }
    void onlyACompleteImageReplacesTheOlder() {
        QFETCH(bool, hiddenFile);
        QFETCH(QStringList, arguments);
        QFETCH(QString, genisoimage);
        QFETCH(int, exitCode);
        QFETCH(QString, errorOutput);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString path = genisoimage.isEmpty() ? "/nowhere" : toolFolder(tools, genisoimage);
        QVERIFY(writeFile(target.filePath("Film.iso"), "alt"));
        errorOutput.replace("%d", m_dvdFolder).replace("%t", target.path());
        arguments.replaceInStrings("%d", m_dvdFolder).replaceInStrings("%t", target.path());
        const bool errorClosed = exitCode == 0;
        const QString command = QString("exec \"$0\" \"$@\"") + (errorClosed ? " 2>&-" : "");
        const ProgramRun run = runProgram("sh", QStringList{"-c", command, hdiutil} + arguments,
                                          environment(hiddenFile, path));
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errorOutput, errorOutput);
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(target.filePath("Film.iso")), QByteArray(errorClosed ? "BILD" : "alt"));
    }

    // On a real full file system: a tmpfs too small for the image, mounted in a mount namespace
    // of our own (a user namespace makes that possible without root).
    void fullDiskReasonIsTheLastLine_data() {
        QTest::addColumn<bool>("hiddenFile");
        for (const bool hidden : {false, true})
            QTest::newRow(writing(hidden)) << hidden;
    }
    void fullDiskReasonIsTheLastLine() {
        QFETCH(bool, hiddenFile);
        QTemporaryDir mountPoint;
        const QString script =
            "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 90\n"
            "echo bereit\nprintf alt > \"$1/Voll.iso\"\n"
            "\"$2\" makehybrid -udf -iso -joliet -default-volume-name VOLL -o \"$1/Voll\" \"$3\"\n"
            "status=$?\nls -A \"$1\"\ncat \"$1/Voll.iso\"\nexit $status";
        const ProgramRun run = runProgram("unshare",
                                          {"--user", "--map-root-user", "--mount", "sh", "-c",
                                           script, "sh", mountPoint.path(), hdiutil, m_dvdFolder},
                                          environment(hiddenFile));
        QVERIFY2(run.output.startsWith("bereit\n"),
                 qPrintable("no small tmpfs (user namespaces off?): " + run.errorOutput));
        // genisoimage ends with the error number, ENOSPC.
        QCOMPARE(run.exitCode, 28);
        QVERIFY2(run.errorOutput.trimmed().section('\n', -1).startsWith(
                     failed + "genisoimage: No space left on device."),
                 qPrintable(run.errorOutput));
        QCOMPARE(run.output, QByteArray("bereit\nVoll.iso\nalt"));
    }

    void endingLeavesNothingBehind_data() {
        QTest::addColumn<bool>("hiddenFile");
        QTest::addColumn<int>("signal");
        for (const bool hidden : {false, true})
            for (const int signal : {SIGTERM, SIGINT, SIGHUP})
                QTest::addRow("%s, SIG%s", writing(hidden), sigabbrev_np(signal))
                    << hidden << signal;
        // Nothing can remove a named file after SIGKILL: only the unnamed file vanishes by itself.
        QTest::newRow("unnamed file, SIGKILL") << false << int(SIGKILL);
    }
    void endingLeavesNothingBehind() {
        QFETCH(bool, hiddenFile);
        QFETCH(int, signal);
        QTemporaryDir target;
        QTemporaryDir tools;
        const QString ready = tools.filePath("ready");
        const QString path =
            toolFolder(tools, halfWriter + "echo $$ > " + ready + "\nexec /bin/sleep 60");
        QVERIFY(writeFile(target.filePath("Film.iso"), "alt"));
        QProcess command;
        QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
        for (const auto& [key, value] : environment(hiddenFile, path).asKeyValueRange())
            processEnvironment.insert(key, value);
        command.setProcessEnvironment(processEnvironment);
        command.start(hdiutil, makehybrid("X", target.filePath("Film"), m_dvdFolder));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(ready).endsWith('\n'), 20000);
        const qint64 writer = readAll(ready).trimmed().toLongLong();
        const auto noWriterLeft = qScopeGuard([writer] {
            if (!processGone(writer))
                ::kill(pid_t(writer), SIGKILL);
        });
        // While the image is written, it has no name, or a short hidden one.
        const QStringList writingEntries = entries(target.path());
        QCOMPARE(writingEntries.size(), hiddenFile ? 2 : 1);
        QVERIFY2(writingEntries.first().size() <= 16 &&
                     (!hiddenFile || writingEntries.first().startsWith('.')),
                 qPrintable(writingEntries.first()));

        ::kill(pid_t(command.processId()), signal);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(writer), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(command.state(), QProcess::NotRunning, 10000);
        QCOMPARE(command.exitStatus(),
                 signal == SIGKILL ? QProcess::CrashExit : QProcess::NormalExit);
        if (signal != SIGKILL)
            QCOMPARE(command.exitCode(), 128 + signal);
        QCOMPARE(entries(target.path()), QStringList{"Film.iso"});
        QCOMPARE(readAll(target.filePath("Film.iso")), QByteArray("alt"));
    }
};

QTEST_GUILESS_MAIN(ImageCommandTest)
#include "tst_image_command.moc"
