// What the desktop reads about Kestrin, judged by the desktop's own readers (desktop-file-validate,
// the shared MIME database, appstreamcli, librsvg); and a desktop without any D-Bus.
#include "TestFiles.h"
#include "platform/DesktopIdentity.h"
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QSignalSpy>
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
    void initTestCase() {
        // Read when a bus is first used, which is after this.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrin-session-bus");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/kestrin-system-bus");
    }

    // Nothing is held or sent, nothing fails or waits.
    void withoutAnyBusNothingHappens() {
        QVERIFY(!QDBusConnection::sessionBus().isConnected());
        QVERIFY(!QDBusConnection::systemBus().isConnected());
        DesktopNotifier().notify("Kestrin", "Fertig ✅");
        SleepInhibitor inhibitor;
        QSignalSpy states(&inhibitor, &SleepInhibitor::stateChanged);
        inhibitor.hold();
        QCOMPARE(inhibitor.state(), SleepInhibitor::State::Released);
        inhibitor.release();
        QVERIFY(states.isEmpty());
    }

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

    // Rendered small and large, the disc stays round and something is drawn in its middle.
    void iconRendersAtMenuSizes() {
        for (const int size : {16, 256}) {
            const QString side = QString::number(size);
            const QImage image = QImage::fromData(
                runOrFail("rsvg-convert", {"-w", side, "-h", side, desktopFile(".svg")}));
            QCOMPARE(image.size(), QSize(size, size));
            for (const QPoint at : {QPoint(0, 0), QPoint(size - 1, size - 1)})
                QCOMPARE(qAlpha(image.pixel(at)), 0);
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 200);
        }
    }
};

QTEST_GUILESS_MAIN(DesktopTest)
#include "tst_desktop.moc"
