#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into terminationRequested, emitted on the thread that owns
// this object, so that the application can end the way its quit action does (the run aborted,
// every tool ended) instead of dying on the spot. While it exists those signals no longer end
// the process by themselves; afterwards they are handled as before. One at a time per process.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signal);

private:
    void readSignals();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[3]{};
};
