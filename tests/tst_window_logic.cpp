// The pure parts of the main window, stated as tables.
#include "DiscFill.h"
#include "inputs/ControlStates.h"
#include "inputs/VolumeName.h"
#include "log/ActivityLog.h"

#include <QTest>

namespace {

void textRow(const char* name, const QString& in, const QString& out) {
    QTest::newRow(name) << in << out;
}

} // namespace

class WindowLogicTest : public QObject {
    Q_OBJECT

private slots:
    // Emptied where the settings window's button empties it.
    void logIsNewestFirstBelowThePulse() {
        ActivityLog log;
        log.append("A");
        log.startPulse("Erstelle ISO");
        log.setPulseDots(2);
        log.append("B1\nB2\n");
        QCOMPARE(log.text(), "Erstelle ISO..\nB1\nB2\nA\n");
        log.stopPulse();
        log.append("Fertig ✅");
        QCOMPARE(log.text(), "Fertig ✅\nErstelle ISO..\nB1\nB2\nA\n");
    }

    // Typed into the field: what it shows with the cursor after what was typed, also where upper
    // case made the text longer, and the name the disc gets.
    void volumeNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("shownCursor");
        QTest::addColumn<QString>("name");
        QTest::newRow("sharp s") << "STRAßE" << 5 << "STRASSE" << 6 << "STRASSE";
        QTest::newRow("blank while typing") << "URLAUB " << 7 << "URLAUB " << 7 << "URLAUB";
        QTest::newRow("leading blank") << " a" << 2 << "A" << 1 << "A";
        QTest::newRow("emoji") << QStringLiteral("A\U0001F600B") << 3 << "A_B" << 2 << "A_B";
        QTest::newRow("blank at 32") << "A" + QString(31, ' ') + "B" << 33 << "A" << 1 << "A";
        QTest::newRow("combining mark") << QStringLiteral("e\u0301") << 2 << "E_" << 2 << "E_";
    }
    void volumeNames() {
        QFETCH(QString, typed);
        QFETCH(int, cursor);
        QFETCH(QString, shown);
        QFETCH(int, shownCursor);
        QFETCH(QString, name);
        const VolumeNameEdit edit = editVolumeName(typed, cursor);
        QCOMPARE(QStringList({edit.shown, QString::number(edit.cursor), sanitizeVolumeName(typed)}),
                 QStringList({shown, QString::number(shownCursor), name}));
        // Without a typed name, the DVD folder's name becomes the disc's the same way.
        QCOMPARE(isoVolumeNameFor({}, "/home/a/" + typed), name);
    }

    // Facts as letters: t tools found, r running, p the stage can pause, s source, d destination, f
    // DVD folder, i image. Enabled controls as letters: S source button, D destination button, I
    // ISO button, O pickers, A reload audio, G start, P pause, X abort, B burn options, V VIDEO_TS,
    // M image, U burn.
    void whichControlsMayBeUsed_data() {
        QTest::addColumn<QString>("facts");
        QTest::addColumn<QString>("enabled");
        textRow("fresh, tools missing", "", "SB");
        textRow("fresh", "t", "SOB");
        textRow("source chosen", "tsd", "SDOAGBV");
        textRow("destination only", "td", "SOBV");
        textRow("DVD folder made", "tsdf", "SDIOAGBVM");
        textRow("everything made", "tsdfi", "SDIOAGBVMU");
        textRow("image, tools missing", "sdfi", "SDIB");
        textRow("running", "trpsdfi", "PX");
        textRow("burning", "trsdfi", "X");
    }
    void whichControlsMayBeUsed() {
        QFETCH(QString, facts);
        QFETCH(QString, enabled);
        const auto f = [&](char letter) { return facts.contains(QLatin1Char(letter)); };
        const auto is = [&](char letter) { return enabled.contains(QLatin1Char(letter)); };
        QVERIFY(controlStates({f('t'), f('r'), f('p'), f('s'), f('d'), f('f'), f('i')}) ==
                ControlStates({is('S'), is('D'), is('I'), is('O'), is('A'), is('G'), is('P'),
                               is('X'), is('B'), is('V'), is('M'), is('U')}));
    }

    // The meter under the disc picker for a 25 fps source of that many minutes; "" for none.
    void discFills_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("disc");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("overflow");
        QTest::newRow("an hour, Standard") << 60.0 << 0 << 0 << "2,84 von 4,70 GB · 60 %"
                                           << "";
        QTest::newRow("two hours, Standard")
            << 120.0 << 0 << 0 << "5,68 von 4,70 GB · 121 %"
            << "Das Abbild wird voraussichtlich 5,68 GB groß und passt nicht auf eine DVD-5 "
               "(4,70 GB). Bitte „Passend“ oder DVD-9 wählen.";
        QTest::newRow("two hours, Passend") << 120.0 << 3 << 0 << "4,56 von 4,70 GB · 97 %"
                                            << "";
        QTest::newRow("two hours, Standard, DVD-9") << 120.0 << 0 << 1 << "5,68 von 8,54 GB · 66 %"
                                                    << "";
        QTest::newRow("six hours, Passend") << 360.0 << 3 << 0 << "Zu lang für die DVD-5"
                                            << "Der Film ist mit 6:00 h zu lang für eine DVD-5.";
        QTest::newRow("length unknown") << -1.0 << 0 << 0 << ""
                                        << "";
    }
    void discFills() {
        QFETCH(double, minutes);
        QFETCH(int, preset);
        QFETCH(int, disc);
        QFETCH(QString, shown);
        QFETCH(QString, overflow);
        VideoProbe probe;
        probe.hasVideoStream = true;
        probe.frameRate = probe.baseFrameRate = 25.0;
        if (minutes > 0)
            probe.duration = minutes * 60;
        const std::optional<DiscFill> fill = discFillFor(
            probe, encodeSettingsFor(0, preset, {}, disc ? dualLayerDisc() : singleLayerDisc()));
        QCOMPARE(fill ? fill->text : QString(), shown);
        QCOMPARE(fill ? fill->overflow.value_or(QString()) : QString(), overflow);
    }
};

QTEST_GUILESS_MAIN(WindowLogicTest)
#include "tst_window_logic.moc"
