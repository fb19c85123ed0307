#pragma once

#include <QElapsedTimer>
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
