// The menu entry, judged by the desktop's own readers: desktop-file-validate and the shared MIME
// database.
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"

#include <QFile>
#include <QMimeDatabase>
#include <QTest>

using namespace testing;

namespace {

QString desktopFile(const QString& suffix) {
    return QStringLiteral(KESTRIN_DESKTOP_DIR "/") + DesktopIdentity::id + suffix;
}

// The items of a key in the menu entry (split at ';').
QStringList entryValues(const QString& key) {
    QFile file(desktopFile(".desktop"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key.toUtf8() + '='))
            return QString::fromUtf8(line.mid(key.size() + 1)).split(';', Qt::SkipEmptyParts);
    }
    return {};
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    // Warnings and hints come with exit status 0; the menu entry we ship has none. (The package
    // test has appstreamcli check the metainfo.)
    void menuEntryIsValid() {
        const ProgramRun entry = runProgram("desktop-file-validate", {desktopFile(".desktop")});
        QVERIFY2(entry.exitCode == 0 && entry.output.isEmpty() && entry.errorOutput.isEmpty(),
                 entry.output.constData());
    }

    // File managers build "Öffnen mit Kestrin" from the name; the types are named as the shared
    // MIME database names them.
    void menuEntryStartsKestrinWithOneFile() {
        QCOMPARE(entryValues("Name"), QStringList{"Kestrin"});
        QCOMPARE(entryValues("Exec"), QStringList{"kestrin %f"});
        QCOMPARE(entryValues("Icon"), QStringList{DesktopIdentity::id});
        QVERIFY(entryValues("Categories").contains("DiscBurning"));
        const QMimeDatabase types;
        for (const QString suffix : {"mkv", "mp4", "m4v"})
            QVERIFY2(
                entryValues("MimeType")
                    .contains(types.mimeTypeForFile("clip." + suffix, QMimeDatabase::MatchExtension)
                                  .name()),
                qPrintable(suffix));
    }
};

QTEST_GUILESS_MAIN(DesktopTest)
#include "tst_desktop.moc"
