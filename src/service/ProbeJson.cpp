#include "ProbeJson.h"

#include "FFmpegError.h"
#include "NumberReading.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
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

    std::optional<double> number(const QString& key) const {
        const QJsonValue value = m_object.value(key);
        if (absent(value))
            return std::nullopt;
        if (!value.isDouble())
            fail(key, QStringLiteral("ist keine Zahl"));
        return value.toDouble();
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
        Stream stream;
        stream.index = r.integer(QStringLiteral("index"));
        stream.codec_type = r.text(QStringLiteral("codec_type"));
        stream.codec_name = r.text(QStringLiteral("codec_name"));
        stream.avg_frame_rate = r.text(QStringLiteral("avg_frame_rate"));
        stream.r_frame_rate = r.text(QStringLiteral("r_frame_rate"));
        stream.display_aspect_ratio = r.text(QStringLiteral("display_aspect_ratio"));
        stream.sample_aspect_ratio = r.text(QStringLiteral("sample_aspect_ratio"));
        stream.width = r.integer(QStringLiteral("width"));
        stream.height = r.integer(QStringLiteral("height"));
        stream.field_order = r.text(QStringLiteral("field_order"));
        stream.color_range = r.text(QStringLiteral("color_range"));
        stream.color_space = r.text(QStringLiteral("color_space"));
        stream.color_transfer = r.text(QStringLiteral("color_transfer"));
        stream.start_time = r.text(QStringLiteral("start_time"));
        stream.duration = r.text(QStringLiteral("duration"));
        stream.channels = r.integer(QStringLiteral("channels"));
        stream.disposition =
            r.object<Stream::Disposition>(QStringLiteral("disposition"), [](const Reader& d) {
                return Stream::Disposition{d.integer(QStringLiteral("default")),
                                           d.integer(QStringLiteral("forced"))};
            });
        stream.tags = r.object<Stream::Tags>(QStringLiteral("tags"), [](const Reader& t) {
            return Stream::Tags{t.text(QStringLiteral("language")), t.text(QStringLiteral("title")),
                                t.text(QStringLiteral("rotate")),
                                t.text(QStringLiteral("DURATION"))};
        });
        stream.side_data_list =
            r.list<Stream::SideData>(QStringLiteral("side_data_list"), [](const Reader& d) {
                return Stream::SideData{d.number(QStringLiteral("rotation"))};
            });
        return stream;
    });
    result.format = root.object<Format>(QStringLiteral("format"), [](const Reader& r) {
        return Format{r.text(QStringLiteral("duration")), r.text(QStringLiteral("start_time"))};
    });
    result.chapters = root.list<Chapter>(QStringLiteral("chapters"), [](const Reader& r) {
        return Chapter{r.text(QStringLiteral("start_time"))};
    });
    return result;
}

namespace {

std::optional<double> readOptional(const std::optional<QString>& text) {
    return text ? readNumber(*text) : std::nullopt;
}

std::optional<double> rotationOf(const FFProbeJSON::Stream& stream) {
    for (const auto& sideData :
         stream.side_data_list.value_or(QList<FFProbeJSON::Stream::SideData>{}))
        if (sideData.rotation)
            return sideData.rotation;
    // Files written before display matrices carry the turn as a tag.
    return stream.tags ? readOptional(stream.tags->rotate) : std::nullopt;
}

// "01:02:03.5" as seconds.
std::optional<double> readClockTime(const QString& text) {
    const QStringList parts = text.split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    double seconds = 0;
    for (const QString& part : parts) {
        const std::optional<double> number = readNumber(part);
        if (!number)
            return std::nullopt;
        seconds = seconds * 60 + *number;
    }
    return seconds;
}

// How long a stream runs: ffprobe's duration, or Matroska's tag.
std::optional<double> lengthOf(const FFProbeJSON::Stream& stream) {
    if (const auto duration = readOptional(stream.duration))
        return duration;
    return stream.tags && stream.tags->DURATION ? readClockTime(*stream.tags->DURATION)
                                                : std::nullopt;
}

// A disposition flag, 0 or 1.
std::optional<bool> isSet(const std::optional<int>& flag) {
    return flag ? std::optional(*flag != 0) : std::nullopt;
}

// Streams in file order.
constexpr auto byIndex = [](const auto& a, const auto& b) { return a.index < b.index; };

} // namespace

VideoProbe videoProbeFrom(const FFProbeJSON& json) {
    const QList<FFProbeJSON::Stream> streams = json.streams.value_or(QList<FFProbeJSON::Stream>{});
    const double fileStart =
        json.format ? readOptional(json.format->start_time).value_or(0.0) : 0.0;
    VideoProbe probe;
    probe.hasVideoStream = false;
    std::optional<double> pictureAndSound;
    for (const FFProbeJSON::Stream& stream : streams) {
        const bool encoded =
            stream.codec_type == QStringLiteral("audio") ||
            (stream.codec_type == QStringLiteral("video") && !*probe.hasVideoStream);
        if (const auto length = lengthOf(stream); encoded && length)
            pictureAndSound = std::max(pictureAndSound.value_or(0.0), *length);
        const auto tags = stream.tags.value_or(FFProbeJSON::Stream::Tags{});
        const auto disposition = stream.disposition.value_or(FFProbeJSON::Stream::Disposition{});
        const auto isDefault = isSet(disposition.default_);
        const auto isForced = isSet(disposition.forced);
        if (stream.codec_type == QStringLiteral("audio") && stream.index)
            probe.audioStreams.append({*stream.index, stream.codec_name, stream.channels,
                                       tags.language, tags.title, isDefault, isForced});
        if (stream.codec_type == QStringLiteral("subtitle") && stream.index)
            probe.subtitleStreams.append(
                {*stream.index, stream.codec_name, tags.language, tags.title, isDefault, isForced});
        if (stream.codec_type != QStringLiteral("video") || *probe.hasVideoStream)
            continue;
        probe.hasVideoStream = true;
        if (stream.avg_frame_rate)
            probe.frameRate = parseRatio(*stream.avg_frame_rate, u'/');
        if (stream.r_frame_rate)
            probe.baseFrameRate = parseRatio(*stream.r_frame_rate, u'/');
        if (stream.display_aspect_ratio)
            probe.displayAspectRatio = parseRatio(*stream.display_aspect_ratio, u':');
        if (stream.sample_aspect_ratio)
            probe.sampleAspectRatio = parseRatio(*stream.sample_aspect_ratio, u':');
        probe.width = stream.width;
        probe.height = stream.height;
        probe.rotation = rotationOf(stream);
        probe.fieldOrder = stream.field_order;
        probe.colourRange = stream.color_range;
        probe.colourMatrix = stream.color_space;
        probe.colourTransfer = stream.color_transfer;
        if (const auto start = readOptional(stream.start_time))
            probe.videoStart = *start - fileStart;
    }
    std::stable_sort(probe.audioStreams.begin(), probe.audioStreams.end(), byIndex);
    std::stable_sort(probe.subtitleStreams.begin(), probe.subtitleStreams.end(), byIndex);
    if (json.format && json.format->duration)
        probe.duration = readNumber(*json.format->duration);
    // A subtitle that runs on after the film makes the container longer than any encode of it,
    // which would then read as cut off.
    if (pictureAndSound && probe.duration && *pictureAndSound < *probe.duration)
        probe.duration = pictureAndSound;
    for (const FFProbeJSON::Chapter& chapter :
         json.chapters.value_or(QList<FFProbeJSON::Chapter>{}))
        if (const auto start = readOptional(chapter.start_time))
            probe.chapterStarts.append(*start - fileStart);
    return probe;
}
