#include "LineSplitter.h"

LineSplitter::LineSplitter(LineSink sink)
    : m_sink(std::move(sink)) {}

void LineSplitter::feed(const QByteArray& bytes) {
    m_pending.append(bytes);
    const char* data = m_pending.constData();
    const qsizetype size = m_pending.size();
    qsizetype lineStart = 0;
    for (qsizetype i = m_pending.size() - bytes.size(); i < size; ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            deliver(data + lineStart, i - lineStart);
            lineStart = i + 1;
        }
    }
    m_pending.remove(0, lineStart);
}

void LineSplitter::finish() {
    deliver(m_pending.constData(), m_pending.size());
    m_pending.clear();
}

void LineSplitter::deliver(const char* begin, qsizetype length) {
    if (length > 0)
        m_sink(QString::fromUtf8(begin, length));
}
