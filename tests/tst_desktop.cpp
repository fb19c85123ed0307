// What the desktop reads about Kestrin, judged by the desktop's own readers: the menu entry by
// desktop-file-validate and the shared MIME database, the metainfo by appstreamcli, the icon by
// librsvg (the renderer desktop shells use for SVG icons); and where the program looks for its
// image command in the build tree and once installed.
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"
#include "platform/LinuxDefaults.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

using namespace testing;

namespace {

const QString desktopDir = QStringLiteral(KESTRIN_DESKTOP_DIR);

QString entryPath() {
    return desktopDir + "/" + DesktopIdentity::id + ".desktop";
}
QString metainfoPath() {
    return desktopDir + "/" + DesktopIdentity::id + ".metainfo.xml";
}
QString iconPath() {
    return desktopDir + "/" + DesktopIdentity::id + ".svg";
}

// The keys of the [Desktop Entry] group; empty when the file cannot be read.
QMap<QString, QString> desktopEntry(const QString& path) {
    QFile file(path);
    QMap<QString, QString> keys;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inEntry = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.contains('=') && !line.startsWith('#'))
            keys.insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return keys;
}

QStringList listValue(const QString& value) {
    return value.split(';', Qt::SkipEmptyParts);
}

// The text of the first element of that name in an XML file, with the given attribute value
// when one is asked for.
QString xmlText(const QString& path, const QString& element, const QString& attribute = {},
                const QString& attributeValue = {}) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element &&
            (attribute.isEmpty() || xml.attributes().value(attribute) == attributeValue))
            return xml.readElementText();
    }
    return {};
}

void makeFile(const QString& path, QFile::Permissions permissions) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
const QFile::Permissions plain = QFile::ReadOwner | QFile::WriteOwner;

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(QFile::exists(entryPath()));
        QVERIFY(QFile::exists(metainfoPath()));
        QVERIFY(QFile::exists(iconPath()));
    }

    void desktopEntryPassesTheValidator() {
        const ProgramRun run = runProgram(QStringLiteral("desktop-file-validate"), {entryPath()});
        QCOMPARE(run.exitCode, 0);
        // Warnings and hints come with exit status 0; an entry we ship has none.
        QCOMPARE(QString::fromUtf8(run.output) + run.errorOutput, QString());
    }

    void desktopEntryLaunchesKestrinWithOneFile_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << "Type"
                              << "Application";
        // File managers build "Öffnen mit Kestrin" from the name.
        QTest::newRow("name") << "Name"
                              << "Kestrin";
        QTest::newRow("command with one file") << "Exec"
                                               << "kestrin %f";
        QTest::newRow("icon is ours") << "Icon" << DesktopIdentity::id;
        QTest::newRow("no terminal") << "Terminal"
                                     << "false";
    }
    void desktopEntryLaunchesKestrinWithOneFile() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(desktopEntry(entryPath()).value(key), value);
    }

    void desktopEntryIsListedUnderVideoAndDiscBurning_data() {
        QTest::addColumn<QString>("category");
        QTest::newRow("main category") << "AudioVideo";
        QTest::newRow("video") << "Video";
        QTest::newRow("disc burning") << "DiscBurning";
    }
    void desktopEntryIsListedUnderVideoAndDiscBurning() {
        QFETCH(QString, category);
        QVERIFY(listValue(desktopEntry(entryPath()).value("Categories")).contains(category));
    }

    // File managers offer the entry for a file whose type, as the shared MIME database sees it
    // by name and by content, is one the entry lists (under its name or one of its aliases).
    void desktopEntryOpensTheVideosKestrinReads_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("encoding");
        const QStringList tiny{"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=0.2"};
        QTest::newRow("mkv") << "clip.mkv" << tiny + QStringList{"-c:v", "mpeg4"};
        QTest::newRow("mp4") << "clip.mp4" << tiny + QStringList{"-c:v", "mpeg4"};
        QTest::newRow("m4v") << "clip.m4v" << tiny + QStringList{"-c:v", "mpeg4"};
    }
    void desktopEntryOpensTheVideosKestrinReads() {
        QFETCH(QString, fileName);
        QFETCH(QStringList, encoding);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString clip = dir.filePath(fileName);
        const ProgramRun made =
            runProgram("ffmpeg", QStringList{"-v", "error", "-y"} + encoding + QStringList{clip});
        QCOMPARE(made.exitCode, 0);

        const QMimeType type = QMimeDatabase().mimeTypeForFile(clip);
        QVERIFY2(type.name().startsWith("video/"), qPrintable(type.name()));
        const QStringList offered = listValue(desktopEntry(entryPath()).value("MimeType"));
        const QStringList names = QStringList{type.name()} + type.aliases();
        QVERIFY2(std::any_of(names.cbegin(), names.cend(),
                             [&](const QString& name) { return offered.contains(name); }),
                 qPrintable(type.name() + " not in " + offered.join(';')));
    }

    void metainfoPassesTheValidator() {
        const ProgramRun run =
            runProgram(QStringLiteral("appstreamcli"), {"validate", "--no-net", metainfoPath()});
        QVERIFY2(run.exitCode == 0, run.output.constData());
    }

    void metainfoNamesTheDesktopEntry() {
        QCOMPARE(xmlText(metainfoPath(), "id"), DesktopIdentity::id);
        QCOMPARE(xmlText(metainfoPath(), "launchable", "type", "desktop-id"),
                 DesktopIdentity::id + ".desktop");
        QCOMPARE(xmlText(metainfoPath(), "binary"), QStringLiteral("kestrin"));
    }

    // Rendered small, the disc stays round (transparent corners, opaque rim) and the kestrel
    // stays visible as rufous pixels in the middle.
    void iconRendersAtMenuSizes_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("16 px") << 16;
        QTest::newRow("24 px") << 24;
        QTest::newRow("48 px") << 48;
        QTest::newRow("256 px") << 256;
    }
    void iconRendersAtMenuSizes() {
        QFETCH(int, size);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString png = dir.filePath("icon.png");
        const ProgramRun run =
            runProgram("rsvg-convert", {"-w", QString::number(size), "-h", QString::number(size),
                                        "-o", png, iconPath()});
        QCOMPARE(run.exitCode, 0);
        const QImage image(png);
        QCOMPARE(image.size(), QSize(size, size));

        const int last = size - 1;
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        const int inside = size / 16;
        for (const QPoint rim :
             {QPoint(size / 2, inside), QPoint(inside, size / 2), QPoint(size / 2, last - inside)})
            QVERIFY(qAlpha(image.pixel(rim)) > 200);

        int rufous = 0;
        for (int y = size / 4; y < size * 3 / 4; ++y)
            for (int x = size / 4; x < size * 3 / 4; ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) > 200 && qRed(pixel) > qGreen(pixel) + 50 &&
                    qRed(pixel) > qBlue(pixel) + 80)
                    ++rufous;
            }
        QVERIFY2(rufous >= size * size / 32, qPrintable(QString::number(rufous)));
    }

    // Layouts of an application folder and what lies around it, relative to a scratch root.
    void imageCommandIsFoundInBuildTreeAndInstalled_data() {
        QTest::addColumn<QString>("applicationDir");
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QStringList>("plainFiles");
        QTest::addColumn<QString>("expected");
        QTest::newRow("build tree") << "build/src/app" << QStringList{"build/src/app/hdiutil"}
                                    << QStringList{} << "build/src/app/hdiutil";
        QTest::newRow("installed") << "usr/bin" << QStringList{"usr/libexec/kestrin/hdiutil"}
                                   << QStringList{} << "usr/libexec/kestrin/hdiutil";
        QTest::newRow("installed beside a foreign hdiutil")
            << "usr/bin" << QStringList{"usr/bin/hdiutil", "usr/libexec/kestrin/hdiutil"}
            << QStringList{} << "usr/libexec/kestrin/hdiutil";
        QTest::newRow("installed one not executable")
            << "usr/bin" << QStringList{"usr/bin/hdiutil"}
            << QStringList{"usr/libexec/kestrin/hdiutil"} << "usr/bin/hdiutil";
        QTest::newRow("installed, neither present: where the package puts it")
            << "usr/bin" << QStringList{} << QStringList{} << "usr/libexec/kestrin/hdiutil";
        QTest::newRow("build tree, neither present: where the build puts it")
            << "build/src/app" << QStringList{} << QStringList{} << "build/src/app/hdiutil";
        QTest::newRow("only a plain file beside")
            << "opt/kestrin/bin" << QStringList{} << QStringList{"opt/kestrin/bin/hdiutil"}
            << "opt/kestrin/libexec/kestrin/hdiutil";
    }
    void imageCommandIsFoundInBuildTreeAndInstalled() {
        QFETCH(QString, applicationDir);
        QFETCH(QStringList, executables);
        QFETCH(QStringList, plainFiles);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir().mkpath(root.filePath(applicationDir)));
        for (const QString& path : executables) {
            makeFile(root.filePath(path), executable);
            if (QTest::currentTestFailed())
                return;
        }
        for (const QString& path : plainFiles) {
            makeFile(root.filePath(path), plain);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(LinuxDefaults::hdiutilPathFor(root.filePath(applicationDir)),
                 root.filePath(expected));
    }

    void aFolderNamedHdiutilIsNotTheImageCommand() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir().mkpath(root.filePath("usr/libexec/kestrin/hdiutil")));
        makeFile(root.filePath("usr/bin/hdiutil"), executable);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(LinuxDefaults::hdiutilPathFor(root.filePath("usr/bin")),
                 root.filePath("usr/bin/hdiutil"));
    }
};

QTEST_GUILESS_MAIN(DesktopTest)
#include "tst_desktop.moc"
