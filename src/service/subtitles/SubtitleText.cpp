#include "SubtitleText.h"

#include <uchardet.h>

#include <iconv.h>

#include <memory>

namespace {

QByteArray detectedCharset(const QByteArray& bytes) {
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(
        uchardet_new(), &uchardet_delete);
    if (uchardet_handle_data(detector.get(), bytes.constData(), size_t(bytes.size())) != 0)
        return {};
    uchardet_data_end(detector.get());
    return QByteArray(uchardet_get_charset(detector.get()));
}

std::optional<QByteArray> toUtf8(const QByteArray& bytes, const QByteArray& charset) {
    const iconv_t conversion = iconv_open("UTF-8", charset.constData());
    if (conversion == iconv_t(-1))
        return std::nullopt;
    QByteArray in = bytes;
    QByteArray out(bytes.size() * 3 + 16, Qt::Uninitialized);
    char* inPointer = in.data();
    size_t inLeft = size_t(in.size());
    char* outPointer = out.data();
    size_t outLeft = size_t(out.size());
    const size_t converted = iconv(conversion, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(conversion);
    if (converted == size_t(-1))
        return std::nullopt;
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

} // namespace

std::optional<QString> decodeSubtitleText(const QByteArray& bytes) {
    QByteArray charset = detectedCharset(bytes);
    // Plain ASCII is answered with "ASCII", and an empty answer means no set fits.
    if (charset.isEmpty() || charset == "ASCII")
        charset = "UTF-8";
    const std::optional<QByteArray> utf8 = toUtf8(bytes, charset);
    if (!utf8)
        return std::nullopt;
    QString text = QString::fromUtf8(*utf8);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}
