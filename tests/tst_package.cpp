// The Debian package that cpack builds (a CTest fixture makes it before this program runs):
// its dependencies as dpkg reads them, its files, its metadata as appstreamcli checks an
// installed tree, and the unpacked program itself, started offscreen until its window is drawn.
// Qt's own log categories tell from outside when the window is drawn and whether the
// missing-tools alert came up, which the window opens while it is first shown.
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace testing;

namespace {

const QString package = QStringLiteral(KESTRIN_PACKAGE);
const QString alertTitle = QStringLiteral("Benötigte Tools fehlen");

bool unpack(const QString& root) {
    return runProgram("dpkg-deb", {"-x", package, root}).exitCode == 0;
}

// Package names in a Depends field, without versions; alternatives count each.
QSet<QString> dependencyNames(const QString& field) {
    QSet<QString> names;
    for (const QString& entry : field.split(QRegularExpression("[,|]"), Qt::SkipEmptyParts))
        names.insert(entry.trimmed().section(' ', 0, 0));
    return names;
}

// dpkg records a file under the path its package ships it at, which with a merged /usr may be
// the one through /lib or the one through /usr/lib.
QString owningPackage(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    QStringList candidates{path, real};
    if (real.startsWith("/usr/"))
        candidates.append(real.mid(4));
    for (const QString& candidate : candidates) {
        const ProgramRun owner = runProgram("dpkg-query", {"-S", candidate});
        if (owner.exitCode == 0)
            return QString::fromUtf8(owner.output).section(':', 0, 0);
    }
    return "(no package owns " + path + ")";
}

// Where the dynamic loader finds a library, from ldd's answer: "name => path (address)", or
// "path (address)" for the loader itself.
QString loadedPath(const QString& lddOutput, const QString& library) {
    for (const QString& line : lddOutput.split('\n')) {
        const QStringList words = line.simplified().split(' ');
        if (words.size() >= 3 && words[0] == library && words[1] == "=>")
            return words[2];
        if (words[0].endsWith('/' + library))
            return words[0];
    }
    return library;
}

// The Debian package that owns each shared library a program is linked against directly.
QSet<QString> packagesOfLinkedLibraries(const QString& program) {
    const ProgramRun needed = runProgram("objdump", {"-p", program});
    const ProgramRun resolved = runProgram("ldd", {program});
    QSet<QString> owners;
    if (needed.exitCode != 0 || resolved.exitCode != 0)
        return owners;
    static const QRegularExpression neededLine(R"(^\s*NEEDED\s+(\S+)$)",
                                               QRegularExpression::MultilineOption);
    for (const auto& match : neededLine.globalMatch(QString::fromUtf8(needed.output)))
        owners.insert(
            owningPackage(loadedPath(QString::fromUtf8(resolved.output), match.captured(1))));
    return owners;
}

// The unpacked program, started offscreen with settings of its own and Qt's log categories for
// accessibility (each widget that is shown, with its texts) and painting switched on.
class UnpackedKestrin {
public:
    explicit UnpackedKestrin(const QString& root) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", m_config.path());
        environment.insert("QT_LOGGING_RULES",
                           "qt.accessibility.cache=true;qt.widgets.painting=true");
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead,
                         [this] { m_output += QString::fromUtf8(m_process.readAll()); });
        m_process.start(root + "/usr/bin/kestrin", {});
    }
    ~UnpackedKestrin() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool windowDrawn() const { return m_output.contains("of MainWindow("); }
    const QString& output() const { return m_output; }
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_config;
    QProcess m_process;
    QString m_output;
};

} // namespace

class PackageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(package).isFile(), qPrintable(package));
        QVERIFY(m_root.isValid());
        QVERIFY(unpack(m_root.path()));
    }

    void dependsOnTheToolsKestrinDrives_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("ffmpeg and ffprobe") << "ffmpeg";
        QTest::newRow("dvdauthor") << "dvdauthor";
        QTest::newRow("genisoimage for the image command") << "genisoimage";
        QTest::newRow("Qt platform plugins") << "qt6-qpa-plugins";
    }
    void dependsOnTheToolsKestrinDrives() {
        QFETCH(QString, name);
        const ProgramRun fields = runProgram("dpkg-deb", {"-f", package, "Depends"});
        QCOMPARE(fields.exitCode, 0);
        QVERIFY2(dependencyNames(QString::fromUtf8(fields.output)).contains(name),
                 fields.output.constData());
    }

    void dependsOnEveryLibraryItIsLinkedAgainst_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("kestrin") << "usr/bin/kestrin";
        QTest::newRow("hdiutil") << "usr/libexec/kestrin/hdiutil";
    }
    void dependsOnEveryLibraryItIsLinkedAgainst() {
        QFETCH(QString, program);
        const ProgramRun fields = runProgram("dpkg-deb", {"-f", package, "Depends"});
        QCOMPARE(fields.exitCode, 0);
        const QSet<QString> depends = dependencyNames(QString::fromUtf8(fields.output));
        const QSet<QString> owners = packagesOfLinkedLibraries(m_root.filePath(program));
        QVERIFY(!owners.isEmpty());
        for (const QString& owner : owners)
            QVERIFY2(depends.contains(owner), qPrintable(owner));
    }

    void holdsExactlyTheProgramsAndDesktopFiles() {
        QSet<QString> files;
        QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.insert(QDir(m_root.path()).relativeFilePath(it.next()));
        const QString id = DesktopIdentity::id;
        const QSet<QString> expected{
            "usr/bin/kestrin",
            "usr/libexec/kestrin/hdiutil",
            "usr/share/applications/" + id + ".desktop",
            "usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
            "usr/share/metainfo/" + id + ".metainfo.xml",
        };
        QCOMPARE(files, expected);
        QVERIFY(QFileInfo(m_root.filePath("usr/bin/kestrin")).isExecutable());
        QVERIFY(QFileInfo(m_root.filePath("usr/libexec/kestrin/hdiutil")).isExecutable());
    }

    // Checks the installed metainfo together with the desktop entry it launches.
    void installedTreePassesAppStreamValidation() {
        const ProgramRun run =
            runProgram("appstreamcli", {"validate-tree", "--no-net", m_root.path()});
        QVERIFY2(run.exitCode == 0, run.output.constData());
    }

    void unpackedProgramShowsItsWindowWithItsImageCommandPresent() {
        for (const QString tool : {"/usr/bin/ffmpeg", "/usr/bin/dvdauthor"})
            QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool + " is a default path"));
        UnpackedKestrin kestrin(m_root.path());
        QTRY_VERIFY_WITH_TIMEOUT(
            kestrin.windowDrawn() || kestrin.process().state() == QProcess::NotRunning, 60000);
        QVERIFY2(kestrin.windowDrawn(), qPrintable(kestrin.output().right(2000)));
        QVERIFY2(!kestrin.output().contains(alertTitle), qPrintable(kestrin.output().right(2000)));
        QCOMPARE(kestrin.process().state(), QProcess::Running);
        kestrin.process().terminate();
        QVERIFY(kestrin.process().waitForFinished(30000));
    }

    // The other side of the test above: without the image command the window names the path
    // it looked for, which is the one the package installs to.
    void unpackedProgramLooksForItsImageCommandWhereThePackagePutsIt() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(unpack(root.path()));
        const QString installed = root.filePath("usr/libexec/kestrin/hdiutil");
        QVERIFY(QFile::remove(installed));
        UnpackedKestrin kestrin(root.path());
        QTRY_VERIFY_WITH_TIMEOUT(
            kestrin.windowDrawn() || kestrin.process().state() == QProcess::NotRunning, 60000);
        QVERIFY2(kestrin.output().contains(alertTitle), qPrintable(kestrin.output().right(2000)));
        QVERIFY2(kestrin.output().contains("hdiutil (" + installed + ")"),
                 qPrintable(kestrin.output().right(2000)));
        QVERIFY(!kestrin.output().contains("ffmpeg ("));
    }

private:
    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
