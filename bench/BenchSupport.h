#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <sys/resource.h>
#include <vector>

// Measures how late a 5 ms timer fires on the UI thread: the longest stall of the event loop.
class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worstNs = std::max(m_worstNs, now - m_lastNs);
            m_lastNs = now;
        });
        m_clock.start();
        m_lastNs = 0;
        m_timer.start(5);
    }
    double worstStallMs() const { return std::max<qint64>(0, m_worstNs - 5'000'000) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_worstNs = 0;
};

inline double peakResidentMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs a tool to its end, its output thrown away, and returns whether it succeeded.
inline bool
tool(const QString& program, const QStringList& arguments,
     const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// How a median ratio compares with its target, as the benchmarks print it.
inline const char* verdict(double ratio, double target) {
    return ratio <= target ? "within target" : "MISSED TARGET";
}
