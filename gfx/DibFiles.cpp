// TDIB streams and files: the BMP file and stored form (write and read, RLE included), PNG through
// libpng, TGA type 2. Loaders trust nothing in a header: every size is checked against the bytes that
// are actually there before anything is allocated, and images are capped at 2^28 pixels.
#include "DIBmp.h"

#include "DibImage.h"
#include "DibOps.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <png.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

void WriteAll(QIODevice& out, const char* data, qint64 size) {
    if (size > 0 && out.write(data, size) != size) throw std::runtime_error("Stream write error");
}

} // namespace

// ---- writing --------------------------------------------------------------------------------------

void TDIB::WriteStoredForm(QIODevice& out) const {
    if (Empty()) return;
    WriteAll(out, reinterpret_cast<const char*>(image_->info.data()), qint64(image_->info.size()));
    WriteAll(out, reinterpret_cast<const char*>(bits_), size_);
}

QByteArray TDIB::StoredForm() const {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    WriteStoredForm(buffer);
    return data;
}

void TDIB::SaveToStream(QIODevice& out) const {
    if (Empty()) return;
    const uint32_t infoSize = uint32_t(image_->info.size());
    uint8_t header[14] = {'B', 'M'};
    WriteLE32(header + 2, uint32_t(14 + infoSize + size_));
    WriteLE32(header + 10, 14 + infoSize);
    WriteAll(out, reinterpret_cast<const char*>(header), 14);
    WriteStoredForm(out);
}

void TDIB::SaveToFile(const QString& fileName) const {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("Cannot create file \"" + fileName.toStdString() + "\"");
    SaveToStream(file);
}

QByteArray TDIB::ClipboardData() const {
    return StoredForm();
}
void TDIB::LoadFromClipboardData(const QByteArray& data) {
    LoadStoredForm(data);
}

// ---- reading the stored form ----------------------------------------------------------------------

namespace {

// Expands RLE8/RLE4 data into a bottom-up picture (row 0 of the data is the bottom row).
void ExpandRle(TDIB& dib, const uint8_t* p, qsizetype n, bool rle4) {
    const int w = dib.Width(), h = dib.Height();
    qsizetype i = 0;
    int x = 0, y = 0;
    auto put = [&](uint32_t v) {
        if (x >= w || y >= h) ThrowInvalidDib(); // a run past the row or the picture
        uint8_t* row = dib.ScanLine(y);
        if (rle4)
            row[x >> 1] =
                uint8_t((x & 1) ? (row[x >> 1] & 0xF0) | (v & 15) : (row[x >> 1] & 0x0F) | (v << 4));
        else
            row[x] = uint8_t(v);
        ++x;
    };
    for (;;) {
        if (i + 2 > n) {
            if (y >= h) return; // every row written; the end-of-bitmap mark is missing
            ThrowInvalidDib();
        }
        const int count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(rle4 ? ((k & 1) ? value & 15 : value >> 4) : uint32_t(value));
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            continue;
        case 1: // end of bitmap
            return;
        case 2: { // delta
            if (i + 2 > n) ThrowInvalidDib();
            x += p[i];
            y += p[i + 1];
            i += 2;
            if (y > h || (y == h && x > 0) || (y < h && x > w)) ThrowInvalidDib();
            continue;
        }
        default: { // absolute run of `value` pixels, padded to 16 bits
            const qsizetype bytes = rle4 ? (value + 1) / 2 : value;
            if (i + bytes > n) ThrowInvalidDib();
            for (int k = 0; k < value; ++k)
                put(rle4 ? ((k & 1) ? p[i + k / 2] & 15 : p[i + k / 2] >> 4) : p[i + k]);
            i += (bytes + 1) & ~qsizetype(1);
        }
        }
    }
}

} // namespace

void TDIB::ReadDib(const uint8_t* p, qsizetype n, qsizetype pixelOffset) {
    if (n == 0) return;
    if (n < 4) ThrowInvalidDib();
    const uint32_t headerSize = ReadLE32(p);
    if (headerSize != 12 && headerSize != 40) ThrowInvalidDib();
    if (n < qsizetype(headerSize)) ThrowInvalidDib();
    qint64 width, height;
    int bits, compression = BI_RGB;
    uint32_t clrUsed = 0;
    const bool core = headerSize == 12;
    if (core) {
        width = ReadLE16(p + 4);
        height = ReadLE16(p + 6);
        bits = ReadLE16(p + 10);
    } else {
        width = int32_t(ReadLE32(p + 4));
        height = int32_t(ReadLE32(p + 8));
        bits = ReadLE16(p + 14);
        compression = int(ReadLE32(p + 16));
        clrUsed = ReadLE32(p + 32);
    }
    const bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0 || width * height > MaxPixels) ThrowInvalidDib();
    PixelFormat format = bits == 16 ? PixelFormat::Make(5, 5, 5) : PixelFormat::Default();
    qsizetype pos = headerSize;
    switch (compression) {
    case BI_RGB:
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (bits != (compression == BI_RLE8 ? 8 : 4) || topDown) ThrowInvalidDib();
        break;
    case BI_BITFIELDS:
        if (pos + 12 > n) ThrowInvalidDib();
        format = PixelFormat::FromMasks(ReadLE32(p + pos), ReadLE32(p + pos + 4), ReadLE32(p + pos + 8));
        pos += 12;
        break;
    default:
        ThrowInvalidDib();
    }
    CheckPixelFormat(bits, format);
    int paletteCount = int(std::min<uint32_t>(clrUsed, 256));
    if (paletteCount == 0 && bits <= 8) paletteCount = 1 << bits;
    const int entrySize = core ? 3 : 4;
    if (pos + qsizetype(paletteCount) * entrySize > n) ThrowInvalidDib();
    std::array<uint32_t, 256> table{};
    for (int i = 0; i < paletteCount; ++i) {
        const uint8_t* e = p + pos + qsizetype(i) * entrySize;
        table[i] = uint32_t(e[0]) | (uint32_t(e[1]) << 8) | (uint32_t(e[2]) << 16);
    }
    pos += qsizetype(paletteCount) * entrySize;
    // A file header may put the pixels further on; never before the end of the colour table.
    if (pixelOffset >= pos && pixelOffset <= n) pos = pixelOffset;
    const qsizetype available = n - pos;
    const qint64 bytesPerRow = ((width * bits + 31) >> 5) * 4;
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        // No allocation far beyond what the data could describe: even a blank picture needs an
        // end-of-line (2 bytes) per row or a 4-byte delta per 255 rows.
        if (width * height > (qint64(available) + 1) * 32768 || height > (qint64(available) + 1) * 64)
            ThrowInvalidDib();
    } else if (bytesPerRow * height > available) {
        ThrowInvalidDib();
    }
    TDIB loaded;
    loaded.memoryKind_ = MemoryImage();
    loaded.requestedFormat_ = format;
    loaded.ReplaceImage(TDIBSharedImage::Make(int(width), int(height), bits, format, table, MemoryImage()));
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        ExpandRle(loaded, p + pos, available, compression == BI_RLE4);
    } else if (topDown) {
        std::memcpy(loaded.bits_, p + pos, size_t(loaded.size_));
    } else {
        for (int y = 0; y < height; ++y)
            std::memcpy(loaded.ScanLine(y), p + pos + qsizetype(y) * bytesPerRow, size_t(bytesPerRow));
    }
    requestedFormat_ = format;
    loaded.image_->Reference();
    ReplaceImage(loaded.image_);
}

void TDIB::ReadStoredForm(QIODevice& in) {
    const QByteArray data = in.readAll();
    ReadDib(reinterpret_cast<const uint8_t*>(data.constData()), data.size(), -1);
}

void TDIB::LoadStoredForm(const QByteArray& data) {
    ReadDib(reinterpret_cast<const uint8_t*>(data.constData()), data.size(), -1);
}

void TDIB::LoadFromBmpData(const QByteArray& data) {
    if (data.isEmpty()) return;
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    if (data.size() < 14 || p[0] != 'B' || p[1] != 'M') ThrowInvalidDib();
    const qint64 offset = qint64(ReadLE32(p + 10)) - 14;
    ReadDib(p + 14, data.size() - 14, offset);
}

void TDIB::LoadFromStream(QIODevice& in) {
    LoadFromBmpData(in.readAll());
}

// ---- PNG ------------------------------------------------------------------------------------------

void TDIB::LoadFromPngData(const QByteArray& data) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data.constData(), size_t(data.size()))) {
        png_image_free(&png);
        ThrowInvalidDib();
    }
    const qint64 pixels = qint64(png.width) * png.height;
    // Deflate packs at most about 1032:1; a picture larger than the data could hold is a lie.
    if (png.width == 0 || png.height == 0 || png.width > INT32_MAX || png.height > INT32_MAX ||
        pixels > MaxPixels || pixels > qint64(data.size()) * 1100 * 8) {
        png_image_free(&png);
        ThrowInvalidDib();
    }
    const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    TDIB loaded;
    loaded.memoryKind_ = MemoryImage();
    try {
        loaded.SetSize(int(png.width), int(png.height), alpha ? 32 : 24);
    } catch (...) {
        png_image_free(&png);
        throw;
    }
    // PNG row i lands in picture row i.
    if (!png_image_finish_read(&png, nullptr, loaded.bits_, loaded.bytesPerRow_, nullptr)) {
        png_image_free(&png);
        ThrowInvalidDib();
    }
    png_image_free(&png);
    if (alpha && PremultiplyOnPngLoad) loaded.PremultiplyAlpha(QRect(0, 0, loaded.width_, loaded.height_));
    loaded.image_->Reference();
    ReplaceImage(loaded.image_);
}

// ---- TGA ------------------------------------------------------------------------------------------

void TDIB::LoadFromTgaData(const QByteArray& data) {
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    const qsizetype n = data.size();
    if (n < 18 || p[2] != 2) ThrowInvalidDib();
    const int idLength = p[0], mapType = p[1];
    const int mapLength = ReadLE16(p + 5), mapEntryBits = p[7];
    const int width = ReadLE16(p + 12), height = ReadLE16(p + 14), bits = p[16], descriptor = p[17];
    qsizetype pos = 18 + idLength;
    if (mapType == 1) pos += qsizetype(mapLength) * ((mapEntryBits + 7) / 8);
    const int bpp = (bits == 15 || bits == 16) ? 2 : bits == 24 ? 3 : bits == 32 ? 4 : 1;
    if (width == 0 || height == 0 || pos > n || qint64(width) * height * bpp > n - pos) ThrowInvalidDib();
    const int bitCount = bpp == 2 ? 16 : bpp * 8;
    TDIB loaded;
    loaded.memoryKind_ = MemoryImage();
    if (bitCount == 16) loaded.requestedFormat_ = PixelFormat::Make(5, 5, 5);
    loaded.SetSize(width, height, bitCount);
    if (bitCount == 8) {
        std::array<uint32_t, 256> grey;
        for (uint32_t i = 0; i < 256; ++i)
            grey[i] = i * 0x010101u;
        loaded.SetColorTable(grey.data(), 256);
    }
    const bool topDown = (descriptor & 0x20) != 0;
    const size_t rowBytes = size_t(width) * bpp;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = topDown ? loaded.PixelPtr(0, y) : loaded.ScanLine(y);
        std::memcpy(row, p + pos + qsizetype(y) * rowBytes, rowBytes);
    }
    requestedFormat_ = loaded.requestedFormat_;
    loaded.image_->Reference();
    ReplaceImage(loaded.image_);
}

// ---- files ----------------------------------------------------------------------------------------

void TDIB::LoadFromFile(const QString& fileName) {
    const QString ext = QFileInfo(fileName).suffix().toUpper();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file \"" + fileName.toStdString() + "\"");
    const QByteArray data = file.readAll();
    if (ext == "BMP") {
        LoadFromBmpData(data);
    } else if (ext == "PNG") {
        LoadFromPngData(data);
        SetMemoryImage(false);
    } else if (ext == "TGA") {
        LoadFromTgaData(data);
    } else {
        QImage image;
        if (!image.loadFromData(data)) ThrowInvalidDib();
        TDIB loaded = FromQImage(image, image.hasAlphaChannel() ? 32 : 24);
        loaded.SetMemoryImage(false);
        Assign(loaded);
    }
}
