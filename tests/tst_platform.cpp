// Platform services of the application shell: termination signals turned into a Qt signal, and
// Qt's own German texts.
#include "platform/GermanTranslations.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTranslator>

#include <csignal>
#include <cstring>
#include <thread>

namespace {

struct Received {
    int signal;
    QThread* thread;
};

void raiseFrom(bool otherThread, int signal) {
    if (otherThread)
        std::thread([signal] { ::raise(signal); }).join();
    else
        ::raise(signal);
}

} // namespace

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

    void terminationSignalArrivesOnTheUiThread_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("otherThread");
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QTest::addRow("SIG%s", sigabbrev_np(signal)) << signal << false;
            QTest::addRow("SIG%s from another thread", sigabbrev_np(signal)) << signal << true;
        }
    }
    void terminationSignalArrivesOnTheUiThread() {
        QFETCH(int, signal);
        QFETCH(bool, otherThread);
        TerminationSignals termination;
        QList<Received> received;
        connect(&termination, &TerminationSignals::terminationRequested, this, [&](int number) {
            received.append({number, QThread::currentThread()});
        });
        raiseFrom(otherThread, signal);
        // The process is still here; the request arrives through the event loop.
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().signal, signal);
        QCOMPARE(received.first().thread, qApp->thread());
    }

    void everySignalIsReportedInOrder() {
        TerminationSignals termination;
        QList<int> received;
        connect(&termination, &TerminationSignals::terminationRequested, this,
                [&](int number) { received.append(number); });
        ::raise(SIGHUP);
        ::raise(SIGTERM);
        ::raise(SIGINT);
        ::raise(SIGTERM);
        QTRY_COMPARE(received.size(), 4);
        QCOMPARE(received, (QList<int>{SIGHUP, SIGTERM, SIGINT, SIGTERM}));
    }

    void earlierHandlingReturnsAfterwards() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction original[3]{};
        const int handled[] = {SIGTERM, SIGINT, SIGHUP};
        for (int i = 0; i < 3; ++i)
            ::sigaction(handled[i], &ignore, &original[i]);
        {
            TerminationSignals termination;
            struct sigaction during {};
            ::sigaction(SIGTERM, nullptr, &during);
            QVERIFY(during.sa_handler != SIG_IGN);
        }
        for (int i = 0; i < 3; ++i) {
            struct sigaction after {};
            ::sigaction(handled[i], &original[i], &after);
            QVERIFY2(after.sa_handler == SIG_IGN, sigabbrev_np(handled[i]));
        }
        // A second one after the first works as the first did.
        TerminationSignals again;
        bool arrived = false;
        connect(&again, &TerminationSignals::terminationRequested, this, [&] { arrived = true; });
        ::raise(SIGTERM);
        QTRY_VERIFY(arrived);
    }

    void qtTextsAreGerman_data() {
        QTest::addColumn<QLocale>("processLocale");
        QTest::addColumn<QByteArray>("context");
        QTest::addColumn<QByteArray>("english");
        QTest::addColumn<QString>("german");
        const QList<std::pair<const char*, QLocale>> locales{
            {"C", QLocale::c()},
            {"English", QLocale(QLocale::English, QLocale::UnitedStates)},
            {"French", QLocale(QLocale::French, QLocale::France)},
        };
        for (const auto& [name, locale] : locales) {
            const auto row = [&](const char* context, const char* english, const QString& german) {
                QTest::addRow("%s: %s %s", name, context, english)
                    << locale << QByteArray(context) << QByteArray(english) << german;
            };
            row("QPlatformTheme", "Cancel", "Abbrechen");
            row("QPlatformTheme", "Open", "Öffnen");
            row("QPlatformTheme", "Save", "Speichern");
            row("QFileDialog", "Look in:", "Suchen in:");
            row("QFileDialog", "File &name:", "Datei&name:");
        }
    }
    void qtTextsAreGerman() {
        QFETCH(QLocale, processLocale);
        QFETCH(QByteArray, context);
        QFETCH(QByteArray, english);
        QFETCH(QString, german);
        QLocale::setDefault(processLocale);
        QCOMPARE(QCoreApplication::translate(context, english), QString::fromUtf8(english));
        QVERIFY(installGermanTranslations(*qApp));
        QCOMPARE(QCoreApplication::translate(context, english), german);
    }

    void fileDialogsSpeakGerman_data() {
        QTest::addColumn<int>("acceptMode");
        QTest::addColumn<QString>("acceptButton");
        QTest::newRow("open") << int(QFileDialog::AcceptOpen) << "&Öffnen";
        QTest::newRow("save") << int(QFileDialog::AcceptSave) << "S&peichern";
    }
    void fileDialogsSpeakGerman() {
        QFETCH(int, acceptMode);
        QFETCH(QString, acceptButton);
        QVERIFY(installGermanTranslations(*qApp));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptMode(acceptMode));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text();
        QStringList buttons;
        for (const QPushButton* button : dialog.findChildren<QPushButton*>())
            buttons << button->text();
        labels.sort();
        buttons.sort();
        QCOMPARE(labels.join(" | "), "Datei&name: | Dateien des Typs: | Suchen in:");
        QStringList expectedButtons{acceptButton, "Abbrechen"};
        expectedButtons.sort();
        QCOMPARE(buttons.join(" | "), expectedButtons.join(" | "));
    }

    void standardButtonsSpeakGerman() {
        QVERIFY(installGermanTranslations(*qApp));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Close);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
        QCOMPARE(box.button(QDialogButtonBox::Close)->text(), "Schließen");
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
