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

    // Warnings and hints come with exit status 0; the menu entry we ship has none.
    void validatorsAccept() {
        const ProgramRun entry = runProgram("desktop-file-validate", {desktopFile(".desktop")});
        QVERIFY2(entry.exitCode == 0 && entry.output.isEmpty() && entry.errorOutput.isEmpty(),
                 entry.output.constData());
        const ProgramRun metainfo =
            runProgram("appstreamcli", {"validate", "--no-net", desktopFile(".metainfo.xml")});
        QVERIFY2(metainfo.exitCode == 0, metainfo.output.constData());
    }

    // File managers build "Öffnen mit Kestrin" from the name.
    void menuEntryStartsKestrinWithOneFile_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("item");
        QList<std::pair<QString, QString>> items{
            {"Name", "Kestrin"},          {"Exec", "kestrin %f"},  {"Icon", DesktopIdentity::id},
            {"Categories", "AudioVideo"}, {"Categories", "Video"}, {"Categories", "DiscBurning"}};
        // Types as the shared MIME database names them for these files.
        const QMimeDatabase types;
        for (const QString suffix : {"mkv", "mp4", "m4v"})
            items.append(
                {"MimeType",
                 types.mimeTypeForFile("clip." + suffix, QMimeDatabase::MatchExtension).name()});
        for (const auto& [key, item] : items)
            QTest::addRow("%s %s", qPrintable(key), qPrintable(item)) << key << item;
    }
    void menuEntryStartsKestrinWithOneFile() {
        QFETCH(QString, key);
        QFETCH(QString, item);
        QVERIFY2(entryValues(key).contains(item), qPrintable(entryValues(key).join(';')));
    }

    // Rendered small, the disc stays round and the kestrel stays visible as rufous pixels.
    void iconRendersAtMenuSizes_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 24, 48, 256})
            QTest::addRow("%d px", size) << size;
    }
    void iconRendersAtMenuSizes() {
        QFETCH(int, size);
        const QString side = QString::number(size);
        const QImage image = QImage::fromData(
            runOrFail("rsvg-convert", {"-w", side, "-h", side, desktopFile(".svg")}));
        QCOMPARE(image.size(), QSize(size, size));
        const int last = size - 1;
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        int rufous = 0;
        for (int y = size / 4; y < size * 3 / 4; ++y)
            for (int x = size / 4; x < size * 3 / 4; ++x) {
                const QRgb pixel = image.pixel(x, y);
                rufous += qAlpha(pixel) > 200 && qRed(pixel) > qGreen(pixel) + 50 &&
                          qRed(pixel) > qBlue(pixel) + 80;
            }
        QVERIFY2(rufous >= size * size / 32, qPrintable(QString::number(rufous)));
    }
};

QTEST_GUILESS_MAIN(DesktopTest)
#include "tst_desktop.moc"
