#include "PictureDecoders.h"

#include <QFile>

#include <avif/avif.h>
#include <webp/decode.h>

#include <memory>

namespace {

constexpr qint64 kHeadBytes = 64;

bool IsWebp(const QByteArray& head) {
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}

bool IsAvif(const QByteArray& head) {
    const avifROData data{reinterpret_cast<const uint8_t*>(head.constData()), size_t(head.size())};
    return avifPeekCompatibleFileType(&data) == AVIF_TRUE;
}

QImage DecodeWebp(const QByteArray& file) {
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    int width = 0, height = 0;
    if (!WebPGetInfo(data, size_t(file.size()), &width, &height)) return {};
    QImage picture(width, height, QImage::Format_ARGB32);
    if (picture.isNull()) return {};
    // Format_ARGB32 is B,G,R,A in memory on this little-endian machine, as WebP's BGRA.
    if (!WebPDecodeBGRAInto(data, size_t(file.size()), picture.bits(), size_t(picture.sizeInBytes()),
                            int(picture.bytesPerLine())))
        return {};
    return picture;
}

struct AvifDecoderFree {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};

QImage DecodeAvif(const QByteArray& file) {
    const std::unique_ptr<avifDecoder, AvifDecoderFree> decoder(avifDecoderCreate());
    if (!decoder ||
        avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(file.constData()),
                               size_t(file.size())) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK ||
        avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        return {};
    const avifImage* image = decoder->image;
    QImage picture(int(image->width), int(image->height), QImage::Format_ARGB32);
    if (picture.isNull()) return {};
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.pixels = picture.bits();
    rgb.rowBytes = uint32_t(picture.bytesPerLine());
    if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK) return {};
    return picture;
}

} // namespace

bool LooksLikeWebpOrAvif(const QByteArray& head) {
    return IsWebp(head) || IsAvif(head);
}

QImage DecodeWebpOrAvif(const QByteArray& file) {
    if (IsWebp(file)) return DecodeWebp(file);
    if (IsAvif(file)) return DecodeAvif(file);
    return {};
}

QImage ReadWebpOrAvifFile(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes) return {};
    if (!LooksLikeWebpOrAvif(file.peek(kHeadBytes))) return {};
    return DecodeWebpOrAvif(file.readAll());
}
