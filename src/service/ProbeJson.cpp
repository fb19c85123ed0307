#include "ProbeJson.h"

#include "FFmpegError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

// One JSON object being decoded, with the path of its keys for error messages.
class Reader {
public:
    Reader(QJsonObject object, QString path)
        : m_object(std::move(object))
        , m_path(std::move(path)) {}

    std::optional<QString> text(const QString& key) const {
        const QJsonValue value = m_object.value(key);
        if (absent(value))
            return std::nullopt;
        if (!value.isString())
            fail(key, QStringLiteral("ist kein Text"));
        return value.toString();
    }

    std::optional<int> integer(const QString& key) const {
        const QJsonValue value = m_object.value(key);
        if (absent(value))
            return std::nullopt;
        const double number = value.toDouble();
        if (!value.isDouble() || std::trunc(number) != number ||
            number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
            fail(key, QStringLiteral("ist keine ganze Zahl"));
        return static_cast<int>(number);
    }

    template <typename Record, typename Decode>
    std::optional<Record> object(const QString& key, Decode decode) const {
        const QJsonValue value = m_object.value(key);
        if (absent(value))
            return std::nullopt;
        if (!value.isObject())
            fail(key, QStringLiteral("ist kein Objekt"));
        return decode(Reader(value.toObject(), m_path + key + u'.'));
    }

    template <typename Record, typename Decode>
    std::optional<QList<Record>> list(const QString& key, Decode decode) const {
        const QJsonValue value = m_object.value(key);
        if (absent(value))
            return std::nullopt;
        if (!value.isArray())
            fail(key, QStringLiteral("ist keine Liste"));
        QList<Record> records;
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QString element = QStringLiteral("%1[%2]").arg(key).arg(i);
            if (!array[i].isObject())
                fail(element, QStringLiteral("ist kein Objekt"));
            records.append(decode(Reader(array[i].toObject(), m_path + element + u'.')));
        }
        return records;
    }

    static Reader document(const QByteArray& json) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError)
            throw FFmpegError::unreadableOutput(
                QStringLiteral("kein gültiges JSON (%1)").arg(error.errorString()));
        if (!document.isObject())
            throw FFmpegError::unreadableOutput(QStringLiteral("kein JSON-Objekt"));
        return Reader(document.object(), {});
    }

private:
    static bool absent(const QJsonValue& value) { return value.isUndefined() || value.isNull(); }

    [[noreturn]] void fail(const QString& key, const QString& problem) const {
        throw FFmpegError::unreadableOutput(QStringLiteral("„%1%2“ %3").arg(m_path, key, problem));
    }

    QJsonObject m_object;
    QString m_path;
};

} // namespace

FFProbeJSON FFProbeJSON::decode(const QByteArray& json) {
    const Reader root = Reader::document(json);
    FFProbeJSON result;
    result.streams = root.list<Stream>(QStringLiteral("streams"), [](const Reader& r) {
        return Stream{r.text(QStringLiteral("avg_frame_rate")),
                      r.text(QStringLiteral("display_aspect_ratio")),
                      r.integer(QStringLiteral("width")), r.integer(QStringLiteral("height"))};
    });
    result.format = root.object<Format>(QStringLiteral("format"), [](const Reader& r) {
        return Format{r.text(QStringLiteral("duration"))};
    });
    return result;
}

J J::decode(const QByteArray& json) {
    const Reader root = Reader::document(json);
    J result;
    result.streams = root.list<Stream>(QStringLiteral("streams"), [](const Reader& r) {
        Stream stream;
        stream.index = r.integer(QStringLiteral("index"));
        stream.codec_name = r.text(QStringLiteral("codec_name"));
        stream.channels = r.integer(QStringLiteral("channels"));
        stream.tags = r.object<Stream::Tags>(QStringLiteral("tags"), [](const Reader& t) {
            return Stream::Tags{t.text(QStringLiteral("language")),
                                t.text(QStringLiteral("title"))};
        });
        return stream;
    });
    return result;
}
