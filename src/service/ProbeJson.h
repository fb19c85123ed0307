#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The records ffprobe's JSON answers are decoded into. A missing key or a JSON null gives an
// absent field, a value of another JSON type makes the whole decoding fail with
// FFmpegError::unreadableOutput, and keys not listed here are ignored.

struct FFProbeJSON {
    struct Stream {
        std::optional<QString> avg_frame_rate;
        std::optional<QString> display_aspect_ratio;
        std::optional<int> width;
        std::optional<int> height;
    };
    struct Format {
        std::optional<QString> duration;
    };
    std::optional<QList<Stream>> streams;
    std::optional<Format> format;

    static FFProbeJSON decode(const QByteArray& json);
};

// The audio stream probe.
struct J {
    struct Stream {
        struct Tags {
            std::optional<QString> language;
            std::optional<QString> title;
        };
        std::optional<int> index;
        std::optional<QString> codec_name;
        std::optional<int> channels;
        std::optional<Tags> tags;
    };
    std::optional<QList<Stream>> streams;

    static J decode(const QByteArray& json);
};
