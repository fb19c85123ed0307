#include "SpumuxScript.h"

#include <QXmlStreamWriter>

#include <cmath>

namespace {

// spumux reads h:mm:ss.ss.
QString spumuxTime(double seconds) {
    const qint64 hundredths = std::llround(seconds * 100);
    return QString::asprintf("%lld:%02lld:%02lld.%02lld", hundredths / 360'000,
                             hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
}

} // namespace

QString spumuxScript(const QList<SpumuxEntry>& entries) {
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartElement(QStringLiteral("subpictures"));
    writer.writeAttribute(QStringLiteral("format"), QStringLiteral("PAL"));
    writer.writeStartElement(QStringLiteral("stream"));
    for (const SpumuxEntry& entry : entries) {
        writer.writeEmptyElement(QStringLiteral("spu"));
        writer.writeAttribute(QStringLiteral("start"), spumuxTime(entry.start));
        writer.writeAttribute(QStringLiteral("end"), spumuxTime(entry.end));
        writer.writeAttribute(QStringLiteral("image"), entry.image);
        writer.writeAttribute(QStringLiteral("xoffset"), QString::number(entry.x));
        writer.writeAttribute(QStringLiteral("yoffset"), QString::number(entry.y));
        if (entry.forced)
            writer.writeAttribute(QStringLiteral("force"), QStringLiteral("yes"));
    }
    writer.writeEndElement();
    writer.writeEndElement();
    return xml;
}
