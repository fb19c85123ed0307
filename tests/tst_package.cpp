// The Debian package that cpack builds (a CTest fixture): its dependencies as dpkg reads them,
// its files, and its metadata as appstreamcli checks it.
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace testing;

namespace {

const QString package = QStringLiteral(KESTRIN_PACKAGE);

// The packages that ship a library of that name, by dpkg's records.
QSet<QString> owners(const QString& library) {
    QSet<QString> names;
    const QString answer =
        QString::fromUtf8(runProgram("dpkg-query", {"-S", "*/" + library}).output);
    for (const QString& line : answer.split('\n', Qt::SkipEmptyParts))
        names.insert(line.section(':', 0, 0));
    return names;
}

} // namespace

class PackageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;

private slots:
    void initTestCase() {
        QVERIFY2(runProgram("dpkg-deb", {"-x", package, m_root.path()}).exitCode == 0,
                 qPrintable(package));
    }

    // The tools Kestrin drives, and a package for each library the programs are linked against.
    void dependsOnToolsAndLinkedLibraries() {
        const ProgramRun fields = runProgram("dpkg-deb", {"-f", package, "Depends"});
        QSet<QString> depends;
        for (const QString& entry :
             QString::fromUtf8(fields.output).split(QRegularExpression("[,|]")))
            depends.insert(entry.trimmed().section(' ', 0, 0));
        for (const QString tool : {"ffmpeg", "dvdauthor", "genisoimage", "qt6-qpa-plugins",
                                   "qt6-translations-l10n", "fonts-noto-color-emoji"})
            QVERIFY2(depends.contains(tool), qPrintable(tool));
        static const QRegularExpression neededLine(R"(^\s*NEEDED\s+(\S+)$)",
                                                   QRegularExpression::MultilineOption);
        for (const QString program : {"usr/bin/kestrin", "usr/bin/kestrin-cli"}) {
            const ProgramRun dynamic = runProgram("objdump", {"-p", m_root.filePath(program)});
            QVERIFY(dynamic.output.contains("NEEDED"));
            for (const auto& match : neededLine.globalMatch(QString::fromUtf8(dynamic.output)))
                QVERIFY2(owners(match.captured(1)).intersects(depends),
                         qPrintable(program + ": " + match.captured(1)));
        }
    }

    void holdsTheProgramsAndDesktopFiles() {
        QSet<QString> files;
        QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.insert(QDir(m_root.path()).relativeFilePath(it.next()));
        const QString id = DesktopIdentity::id;
        QCOMPARE(files, (QSet<QString>{"usr/bin/kestrin", "usr/bin/kestrin-cli",
                                       "usr/share/doc/kestrin/copyright",
                                       "usr/share/doc/kestrin/changelog.Debian.gz",
                                       "usr/share/man/man1/kestrin.1.gz",
                                       "usr/share/man/man1/kestrin-cli.1.gz",
                                       "usr/share/applications/" + id + ".desktop",
                                       "usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
                                       "usr/share/metainfo/" + id + ".metainfo.xml"}));
        const ProgramRun tree =
            runProgram("appstreamcli", {"validate-tree", "--no-net", m_root.path()});
        QVERIFY2(tree.exitCode == 0, tree.output.constData());
        const ProgramRun lint = runProgram("lintian", {"--tag-display-limit", "0", package});
        QVERIFY2(!lint.output.contains("E: "), lint.output.constData());
        for (const auto& [option, answer] :
             {std::pair{"--help", "--version"}, std::pair{"--version", "kestrin 0.1\n"}}) {
            const ProgramRun kestrin = runProgram(m_root.filePath("usr/bin/kestrin"), {option});
            QVERIFY2(kestrin.exitCode == 0 && kestrin.output.contains(answer), option);
        }
    }
};

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
