#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Splits a byte stream into lines at every CR and every LF, as tools write them: progress lines
// end in CR alone, ordinary lines in LF or CR LF. Empty lines are not reported. Bytes are scanned
// once, so the cost stays linear in the output however it arrives.
class LineSplitter {
public:
    using LineSink = std::function<void(const QString&)>;

    explicit LineSplitter(LineSink sink);

    void feed(const QByteArray& bytes);
    // Delivers the last line when the stream ended without a delimiter.
    void finish();

private:
    void deliver(const char* begin, qsizetype length);

    LineSink m_sink;
    QByteArray m_pending;
};
