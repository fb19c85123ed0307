// Platform services of the application shell: termination signals turned into a Qt signal on the
// UI thread, and Qt's own German texts in the standard dialogs whatever the process locale is.
#include "platform/GermanTranslations.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTranslator>

#include <csignal>
#include <thread>

class PlatformTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(QLocale::c());
    }

    // Each signal alone ends the application in tst_app_lifetime.
    void terminationSignalsArriveInOrderOnTheUiThread_data() {
        QTest::addColumn<QList<int>>("raised");
        QTest::addColumn<bool>("otherThread");
        QTest::newRow("SIGHUP from another thread") << QList<int>{SIGHUP} << true;
        QTest::newRow("several") << QList<int>{SIGHUP, SIGTERM, SIGINT, SIGTERM} << false;
    }
    void terminationSignalsArriveInOrderOnTheUiThread() {
        QFETCH(QList<int>, raised);
        QFETCH(bool, otherThread);
        TerminationSignals termination;
        QList<int> received;
        connect(&termination, &TerminationSignals::terminationRequested, this, [&](int number) {
            received.append(QThread::currentThread() == qApp->thread() ? number : -number);
        });
        const auto raiseAll = [&raised] {
            for (const int signal : raised)
                ::raise(signal);
        };
        if (otherThread)
            std::thread(raiseAll).join();
        else
            raiseAll();
        // The process is still here; the requests arrive through the event loop.
        QTRY_COMPARE(received, raised);
    }

    void standardDialogsSpeakGerman_data() {
        QTest::addColumn<QLocale>("processLocale");
        QTest::addColumn<int>("acceptMode");
        QTest::addColumn<QString>("acceptButton");
        QTest::newRow("C, open") << QLocale::c() << int(QFileDialog::AcceptOpen) << "&Öffnen";
        QTest::newRow("French, save") << QLocale(QLocale::French, QLocale::France)
                                      << int(QFileDialog::AcceptSave) << "S&peichern";
    }
    void standardDialogsSpeakGerman() {
        QFETCH(QLocale, processLocale);
        QFETCH(int, acceptMode);
        QFETCH(QString, acceptButton);
        QLocale::setDefault(processLocale);
        QVERIFY(installGermanTranslations(*qApp));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptMode(acceptMode));
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            texts << label->text();
        for (const QPushButton* button : dialog.findChildren<QPushButton*>())
            texts << button->text();
        texts.sort();
        QStringList expected{"Datei&name:", "Dateien des Typs:", "Suchen in:", acceptButton,
                             "Abbrechen"};
        expected.sort();
        QCOMPARE(texts, expected);
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
