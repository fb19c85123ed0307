#pragma once

#include "ServiceTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The records ffprobe's JSON answers are decoded into. A missing key or a JSON null gives an
// absent field, a value of another JSON type makes the whole decoding fail with
// FFmpegError::unreadableOutput, and keys not listed here are ignored.

struct FFProbeJSON {
    struct Stream {
        struct Disposition {
            std::optional<int> default_;
            std::optional<int> forced;
        };
        struct Tags {
            std::optional<QString> language;
            std::optional<QString> title;
            std::optional<QString> rotate;
            std::optional<QString> DURATION; // Matroska's stream length, "00:01:02.500000000"
        };
        struct SideData {
            std::optional<double> rotation;
        };
        std::optional<int> index;
        std::optional<QString> codec_type;
        std::optional<QString> codec_name;
        std::optional<QString> avg_frame_rate;
        std::optional<QString> r_frame_rate;
        std::optional<QString> display_aspect_ratio;
        std::optional<QString> sample_aspect_ratio;
        std::optional<int> width;
        std::optional<int> height;
        std::optional<QString> field_order;
        std::optional<QString> color_range;
        std::optional<QString> color_space;
        std::optional<QString> color_transfer;
        std::optional<QString> start_time;
        std::optional<QString> duration;
        std::optional<int> channels;
        std::optional<Disposition> disposition; // keys "default" and "forced"
        std::optional<Tags> tags;
        std::optional<QList<SideData>> side_data_list;
    };
    struct Format {
        std::optional<QString> duration;
        std::optional<QString> start_time;
    };
    struct Chapter {
        std::optional<QString> start_time;
    };
    std::optional<QList<Stream>> streams;
    std::optional<Format> format;
    std::optional<QList<Chapter>> chapters;

    static FFProbeJSON decode(const QByteArray& json);
};

// The probe's answer as a VideoProbe: the first video stream's shape and timing, every audio and
// subtitle stream, the chapter marks and the length of the picture and sound (the container's
// duration, unless the streams tell that a subtitle or other stream runs on after them).
VideoProbe videoProbeFrom(const FFProbeJSON& json);
