// TDIB: shared pixel store, copy-on-write, canvas, shape changes and the pixel operations.
#include "DIBmp.h"

#include "DibImage.h"
#include "DibOps.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

// ---- pixel formats --------------------------------------------------------------------------------

PixelFormat PixelFormat::Make(int r, int g, int b) {
    PixelFormat f;
    auto ones = [](int n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; };
    f.redMask = ones(r) << (g + b);
    f.greenMask = ones(g) << b;
    f.blueMask = ones(b);
    f.redCount = r;
    f.greenCount = g;
    f.blueCount = b;
    f.redShift = uint32_t(r + g + b - 8);
    f.greenShift = uint32_t(g + b - 8);
    f.blueShift = uint32_t(8 - b);
    f.redFill = uint32_t(8 - r);
    f.greenFill = uint32_t(8 - g);
    f.blueFill = uint32_t(8 - b);
    return f;
}

PixelFormat PixelFormat::FromMasks(uint32_t red, uint32_t green, uint32_t blue) {
    auto length = [](uint32_t m) {
        int n = 0;
        for (; m; m &= m - 1)
            ++n;
        return n;
    };
    PixelFormat f = Make(length(red), length(green), length(blue));
    f.redMask = red;
    f.greenMask = green;
    f.blueMask = blue;
    return f;
}

void CheckPixelFormat(int bitCount, const PixelFormat& f) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32:
        if (f.redMask == 0x00FF0000 && f.greenMask == 0x0000FF00 && f.blueMask == 0x000000FF) return;
        break;
    case 16:
        if ((f.redMask == 0x7C00 && f.greenMask == 0x03E0 && f.blueMask == 0x001F) ||
            (f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x001F))
            return;
        break;
    default:
        throw EInvalidGraphicOperation("Bitcount in invalid (" + std::to_string(bitCount) + ")");
    }
    throw EInvalidGraphicOperation("PixelFormat in invalid");
}

[[noreturn]] void ThrowInvalidDib() {
    throw EInvalidGraphicOperation("DIB is invalid");
}

// ---- the shared image -----------------------------------------------------------------------------

TDIBSharedImage* TDIBSharedImage::Empty() {
    static TDIBSharedImage* empty = [] {
        auto* e = new TDIBSharedImage;
        e->isEmpty = true;
        e->refCount = 1; // held by the process
        return e;
    }();
    return empty;
}

void TDIBSharedImage::Release() {
    if (isEmpty) return;
    if (--refCount == 0) delete this;
}

TDIBSharedImage::~TDIBSharedImage() {
    std::free(block_);
}

TDIBSharedImage* TDIBSharedImage::Make(int width, int height, int bitCount, const PixelFormat& format,
                                       const std::array<uint32_t, 256>& colorTable, bool memoryImage) {
    CheckPixelFormat(bitCount, format);
    if (width <= 0 || height <= 0) return Empty();
    const qint64 bytesPerRow = ((qint64(width) * bitCount + 31) >> 5) * 4;
    const qint64 size = bytesPerRow * height;
    if (qint64(width) * height > MaxPixels || bytesPerRow > INT32_MAX) throw std::bad_alloc();
    auto* img = new TDIBSharedImage;
    img->width = width;
    img->height = height;
    img->bitCount = bitCount;
    img->bytesPerRow = int(bytesPerRow);
    img->size = size;
    img->format = format;
    img->paletteCount = bitCount <= 8 ? 1 << bitCount : 0;
    const bool masks = bitCount == 16 || bitCount == 32;
    img->colorTablePos = masks ? 52 : 40;
    img->info.assign(size_t(img->colorTablePos + 4 * img->paletteCount), 0);
    uint8_t* h = img->info.data();
    WriteLE32(h, 40);
    WriteLE32(h + 4, uint32_t(width));
    WriteLE32(h + 8, uint32_t(-height));
    h[12] = 1;
    h[14] = uint8_t(bitCount);
    WriteLE32(h + 16, masks ? 3 : 0);
    WriteLE32(h + 20, uint32_t(size));
    if (masks) {
        WriteLE32(h + 40, format.redMask);
        WriteLE32(h + 44, format.greenMask);
        WriteLE32(h + 48, format.blueMask);
    }
    img->colorTable = colorTable;
    for (int i = 0; i < img->paletteCount; ++i)
        WriteLE32(h + img->colorTablePos + 4 * i, colorTable[i]);
    img->memoryImage = memoryImage;
    // Zeroed memory from calloc is free for large blocks (fresh pages) and keeps stale heap contents
    // out of images that are saved before every pixel is drawn.
    img->block_ = std::calloc(size_t(size) + 64, 1);
    if (!img->block_) {
        delete img;
        if (memoryImage) throw std::bad_alloc();
        throw EOutOfResources("DIB cannot be made");
    }
    img->bits = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(img->block_) + 63) & ~uintptr_t(63));
    img->topBits = img->bits + qsizetype(height - 1) * bytesPerRow;
    return img;
}

// ---- palettes -------------------------------------------------------------------------------------

QList<uint32_t> TPaletteItem::ColorTable() const {
    QList<uint32_t> t;
    for (int i = 0; i < count; ++i)
        t.append(0xFF000000u | (entries[i] & 0xFFFFFF));
    return t;
}

namespace {
std::vector<std::weak_ptr<TPaletteItem>>& PaletteItems() {
    static std::vector<std::weak_ptr<TPaletteItem>> items;
    return items;
}
} // namespace

TPalette TPaletteManager::Get(const uint32_t* entries, int count) {
    count = std::clamp(count, 0, 256);
    uint32_t checksum = uint32_t(count);
    for (int i = 0; i < count; ++i)
        checksum += (entries[i] & 0xFF) + ((entries[i] >> 8) & 0xFF) + ((entries[i] >> 16) & 0xFF);
    auto& items = PaletteItems();
    std::erase_if(items, [](const auto& w) { return w.expired(); });
    for (const auto& w : items) {
        auto item = w.lock();
        if (item && item->checksum == checksum && item->count == count &&
            std::equal(entries, entries + count, item->entries.begin()))
            return item;
    }
    auto item = std::make_shared<TPaletteItem>();
    std::copy(entries, entries + count, item->entries.begin());
    item->count = count;
    item->checksum = checksum;
    items.push_back(item);
    return item;
}

int TPaletteManager::ItemCount() {
    auto& items = PaletteItems();
    std::erase_if(items, [](const auto& w) { return w.expired(); });
    return int(items.size());
}

// ---- TDIB -----------------------------------------------------------------------------------------

struct TDIB::CanvasState {
    QImage image;
    QPainter painter;
    // Kept across a replacement of the image.
    QPen pen;
    QBrush brush;
    QFont font;
    bool saved = false;
};

TDIB::TDIB() : image_(TDIBSharedImage::Empty()) {
    Refresh();
}

TDIB::TDIB(int width, int height, int bitCount, bool memoryImage) : image_(TDIBSharedImage::Empty()) {
    memoryKind_ = memoryImage;
    std::array<uint32_t, 256> table{};
    const PixelFormat format = bitCount == 16 ? PixelFormat::Make(5, 5, 5) : requestedFormat_;
    image_ = TDIBSharedImage::Make(width, height, bitCount, format, table, memoryImage);
    Refresh();
}

TDIB::TDIB(const TDIB& other) : image_(other.image_) {
    image_->Reference();
    requestedFormat_ = other.requestedFormat_;
    memoryKind_ = other.memoryKind_;
    PremultiplyOnPngLoad = other.PremultiplyOnPngLoad;
    Refresh();
}

TDIB& TDIB::operator=(const TDIB& other) {
    Assign(other);
    return *this;
}

TDIB::~TDIB() {
    DetachCanvas();
    image_->Release();
}

void TDIB::Assign(const TDIB& other) {
    if (other.image_ == image_) return;
    other.image_->Reference();
    requestedFormat_ = other.requestedFormat_;
    ReplaceImage(other.image_);
}

void TDIB::Clear() {
    ReplaceImage(TDIBSharedImage::Empty());
}

bool TDIB::SharesWith(const TDIB& other) const {
    return image_ == other.image_ && !image_->isEmpty;
}
int TDIB::RefCount() const {
    return image_->isEmpty ? 0 : image_->refCount;
}
bool TDIB::MemoryImage() const {
    return image_->isEmpty ? memoryKind_ : image_->memoryImage;
}

void TDIB::ReplaceImage(TDIBSharedImage* image) {
    if (image == image_) {
        image->Release();
        return;
    }
    DetachCanvas();
    TDIBSharedImage* old = image_;
    image_ = image;
    if (!image_->isEmpty) memoryKind_ = image_->memoryImage;
    old->Release();
    Refresh();
}

void TDIB::Refresh() {
    width_ = image_->width;
    height_ = image_->height;
    bitCount_ = image_->bitCount;
    bytesPerRow_ = image_->bytesPerRow;
    size_ = image_->size;
    bits_ = image_->bits;
    topBits_ = image_->topBits;
    clip_ = QRect(0, 0, width_, height_);
    Changed();
}

void TDIB::Changed() {
    if (OnChange) OnChange();
}

const PixelFormat& TDIB::GetPixelFormat() const {
    return image_->isEmpty ? requestedFormat_ : image_->format;
}
void TDIB::SetPixelFormat(const PixelFormat& format) {
    requestedFormat_ = format;
}
int TDIB::PaletteCount() const {
    return image_->paletteCount;
}
const std::array<uint32_t, 256>& TDIB::ColorTable() const {
    return image_->colorTable;
}
QByteArray TDIB::BitmapInfo() const {
    return QByteArray(reinterpret_cast<const char*>(image_->info.data()), qsizetype(image_->info.size()));
}

void TDIB::Changing(bool wantMemoryImage) {
    if (image_->isEmpty) return;
    if (image_->memoryImage == wantMemoryImage && image_->refCount <= 1 && !image_->compressed) return;
    TDIBSharedImage* copy = TDIBSharedImage::Make(width_, height_, bitCount_, image_->format,
                                                  image_->colorTable, wantMemoryImage && image_->memoryImage);
    std::memcpy(copy->bits, image_->bits, size_t(size_));
    ReplaceImage(copy);
}

void TDIB::SetMemoryImage(bool memoryImage) {
    memoryKind_ = memoryImage;
    if (image_->isEmpty || image_->memoryImage == memoryImage) return;
    TDIBSharedImage* copy =
        TDIBSharedImage::Make(width_, height_, bitCount_, image_->format, image_->colorTable, memoryImage);
    std::memcpy(copy->bits, image_->bits, size_t(size_));
    ReplaceImage(copy);
}

void TDIB::SetSize(int width, int height, int bitCount) {
    if (width <= 0 || height <= 0) {
        Clear();
        return;
    }
    if (!image_->isEmpty && width == width_ && height == height_ && bitCount == bitCount_ &&
        image_->format.SameMasks(requestedFormat_))
        return;
    // A 16-bit request with the 8-8-8 default format means the 5-5-5 layout (the masks of the
    // default format are not allowed for 16 bits, so nothing valid changes meaning).
    PixelFormat format = requestedFormat_;
    if (bitCount == 16 && format.SameMasks(PixelFormat::Default())) format = PixelFormat::Make(5, 5, 5);
    ReplaceImage(TDIBSharedImage::Make(width, height, bitCount, format, image_->colorTable, MemoryImage()));
}

void TDIB::SetWidth(int width) {
    if (Empty())
        SetSize(width, 1, 8);
    else
        SetSize(width, height_, bitCount_);
}

void TDIB::SetHeight(int height) {
    if (Empty())
        SetSize(1, height, 8);
    else
        SetSize(width_, height, bitCount_);
}

namespace {

uint32_t ReadIndex(const uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    default:
        return row[x];
    }
}

void WriteIndex(uint8_t* row, int x, int bits, uint32_t v) {
    switch (bits) {
    case 1: {
        const int s = 7 - (x & 7);
        row[x >> 3] = uint8_t((row[x >> 3] & ~(1 << s)) | ((v & 1) << s));
        break;
    }
    case 4: {
        const int s = (x & 1) ? 0 : 4;
        row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << s)) | ((v & 15) << s));
        break;
    }
    default:
        row[x] = uint8_t(v);
    }
}

uint32_t Expand(uint32_t v, uint32_t count) {
    // Scales a channel of `count` bits to 0..255 (5 bits: 31 -> 255).
    if (count == 0) return 0;
    if (count >= 8) return v >> (count - 8);
    uint32_t out = v << (8 - count);
    for (uint32_t s = count; s < 8; s += count)
        out |= out >> count;
    return out & 0xFF;
}

int MaskShift(uint32_t mask) {
    if (!mask) return 0;
    int s = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// The colour of pixel x as 0xAARRGGBB (alpha 0xFF unless 32-bit).
uint32_t ReadColour(const uint8_t* row, int x, int bits, const PixelFormat& f,
                    const std::array<uint32_t, 256>& table) {
    if (bits <= 8) return 0xFF000000u | (table[ReadIndex(row, x, bits)] & 0xFFFFFF);
    uint32_t v;
    switch (bits) {
    case 16:
        v = ReadLE16(row + 2 * x);
        break;
    case 24:
        return 0xFF000000u | row[3 * x] | (row[3 * x + 1] << 8) | (uint32_t(row[3 * x + 2]) << 16);
    default:
        return ReadLE32(row + 4 * x);
    }
    const uint32_t r = Expand((v & f.redMask) >> MaskShift(f.redMask), f.redCount);
    const uint32_t g = Expand((v & f.greenMask) >> MaskShift(f.greenMask), f.greenCount);
    const uint32_t b = Expand((v & f.blueMask) >> MaskShift(f.blueMask), f.blueCount);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void WriteColour(uint8_t* row, int x, int bits, const PixelFormat& f, uint32_t c) {
    const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    switch (bits) {
    case 16: {
        const uint32_t v = ((r >> f.redFill) << MaskShift(f.redMask)) |
                           ((g >> f.greenFill) << MaskShift(f.greenMask)) |
                           ((b >> f.blueFill) << MaskShift(f.blueMask));
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
        break;
    }
    case 24:
        row[3 * x] = uint8_t(b);
        row[3 * x + 1] = uint8_t(g);
        row[3 * x + 2] = uint8_t(r);
        break;
    default:
        WriteLE32(row + 4 * x, c);
        break;
    }
}

int Luma(uint32_t c) {
    return (((c >> 16) & 0xFF) * 77 + ((c >> 8) & 0xFF) * 150 + (c & 0xFF) * 29 + 128) >> 8;
}

} // namespace

void TDIB::SetBitCount(int bitCount) {
    if (bitCount <= 0) {
        Clear();
        return;
    }
    if (Empty()) {
        SetSize(std::max(width_, 1), std::max(height_, 1), bitCount);
        return;
    }
    if (bitCount == bitCount_) return;
    CheckPixelFormat(bitCount, bitCount == 16 ? PixelFormat::Make(5, 5, 5) : PixelFormat::Default());
    const TDIB old(*this);
    const PixelFormat keepRequest = requestedFormat_;
    requestedFormat_ = bitCount == 16 ? PixelFormat::Make(5, 5, 5) : PixelFormat::Default();
    try {
        SetSize(width_, height_, bitCount);
    } catch (...) {
        requestedFormat_ = keepRequest;
        throw;
    }
    requestedFormat_ = keepRequest;
    if (SharesWith(old)) return;
    const int ob = old.bitCount_, nb = bitCount_;
    const PixelFormat& of = old.image_->format;
    const PixelFormat& nf = image_->format;
    const auto& oldTable = old.image_->colorTable;
    if (nb <= 8) {
        std::array<uint32_t, 256> table{};
        const int n = 1 << nb;
        if (ob <= 8 && ob < nb) {
            table = oldTable; // deeper index images keep the colours and the indices
        } else {
            for (int i = 0; i < n; ++i) {
                const uint32_t g = uint32_t(i * 255 / (n - 1));
                table[i] = (g << 16) | (g << 8) | g;
            }
        }
        image_->colorTable = table;
        for (int i = 0; i < image_->paletteCount; ++i)
            WriteLE32(image_->info.data() + image_->colorTablePos + 4 * i, table[i]);
        image_->paletteChanged = true;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* s = old.PixelPtr(0, y);
            uint8_t* d = PixelPtr(0, y);
            for (int x = 0; x < width_; ++x) {
                uint32_t v;
                if (ob <= 8 && ob < nb)
                    v = ReadIndex(s, x, ob);
                else
                    v = uint32_t((Luma(ReadColour(s, x, ob, of, oldTable)) * (n - 1) + 127) / 255);
                WriteIndex(d, x, nb, v);
            }
        }
        return;
    }
    if (ob == 32 && nb == 24) {
        // Alpha is dropped as it stands; colour is not divided by alpha.
        DibOps::Copy32To24(old.ConstView(), QRect(0, 0, width_, height_), View(), 0, 0);
        return;
    }
    if (ob == 24 && nb == 32) {
        DibOps::Copy24To32(old.ConstView(), QRect(0, 0, width_, height_), View(), 0, 0);
        return;
    }
    for (int y = 0; y < height_; ++y) {
        const uint8_t* s = old.PixelPtr(0, y);
        uint8_t* d = PixelPtr(0, y);
        for (int x = 0; x < width_; ++x)
            WriteColour(d, x, nb, nf, ReadColour(s, x, ob, of, oldTable));
    }
}

void TDIB::CreateCopy(const TDIB& source, bool copyPixels) {
    if (source.Empty()) {
        Clear();
        return;
    }
    TDIBSharedImage* img =
        TDIBSharedImage::Make(source.width_, source.height_, source.bitCount_, source.image_->format,
                              source.image_->colorTable, source.MemoryImage());
    if (copyPixels) std::memcpy(img->bits, source.bits_, size_t(source.size_));
    requestedFormat_ = source.requestedFormat_;
    ReplaceImage(img);
}

void TDIB::SetColorTable(const uint32_t* entries, int count) {
    std::array<uint32_t, 256> table = image_->colorTable;
    count = std::clamp(count, 0, 256);
    std::copy(entries, entries + count, table.begin());
    if (image_->isEmpty) return;
    if (image_->paletteCount > 0) Changing(image_->memoryImage);
    image_->colorTable = table;
    image_->paletteChanged = true;
    for (int i = 0; i < image_->paletteCount; ++i)
        WriteLE32(image_->info.data() + image_->colorTablePos + 4 * i, table[i]);
    Changed();
}

TPalette TDIB::Palette() {
    if (image_->paletteCount <= 0) return nullptr;
    if (image_->paletteChanged || !image_->palette) {
        image_->palette = TPaletteManager::Get(image_->colorTable.data(), image_->paletteCount);
        image_->paletteChanged = false;
    }
    return image_->palette;
}

void TDIB::SetPixel(int x, int y, uint32_t colour) {
    if (bitCount_ != 24 && bitCount_ != 32) return;
    uint8_t* p = PixelPtr(x, y);
    for (int c = 0; c < bitCount_ / 8; ++c) {
        const int v = (colour >> (8 * c)) & 0xFF;
        switch (writeMode_) {
        case 1:
            p[c] = uint8_t(std::min(255, p[c] + v));
            break;
        case 2:
            p[c] = uint8_t(std::max(0, p[c] - v));
            break;
        default:
            p[c] = uint8_t(v);
            break;
        }
    }
}

uint32_t TDIB::GetPixel(int x, int y) const {
    return ReadColour(bits_ + qsizetype(y) * bytesPerRow_, x, bitCount_, image_->format, image_->colorTable);
}

// ---- canvas and QImage views ----------------------------------------------------------------------

namespace {
QImage::Format FormatOf(int bits, const PixelFormat& f) {
    switch (bits) {
    case 1:
        return QImage::Format_Mono;
    case 8:
        return QImage::Format_Indexed8;
    case 16:
        return f.greenMask == 0x07E0 ? QImage::Format_RGB16 : QImage::Format_RGB555;
    case 24:
        return QImage::Format_BGR888;
    case 32:
        return QImage::Format_ARGB32_Premultiplied;
    default:
        return QImage::Format_Invalid;
    }
}
} // namespace

namespace {
// A QImage over the image's pixels (writable or read-only as the pointer is), with its colour table.
template <class Bits>
QImage QImageOver(Bits bits, int width, int height, int bytesPerRow, int bitCount,
                  const TDIBSharedImage& image) {
    const QImage::Format f = FormatOf(bitCount, image.format);
    if (f == QImage::Format_Invalid) return {};
    QImage img(bits, width, height, bytesPerRow, f);
    if (bitCount <= 8) {
        const QList<uint32_t> t = TPaletteItem{image.colorTable, image.paletteCount, 0}.ColorTable();
        img.setColorTable(QList<QRgb>(t.begin(), t.end()));
    }
    return img;
}
} // namespace

QImage TDIB::AsQImage() {
    if (Empty()) return {};
    return QImageOver(bits_, width_, height_, bytesPerRow_, bitCount_, *image_);
}

QImage TDIB::AsConstQImage() const {
    if (Empty()) return {};
    return QImageOver(static_cast<const uint8_t*>(bits_), width_, height_, bytesPerRow_, bitCount_, *image_);
}

QImage TDIB::ToQImage() const {
    if (Empty()) return {};
    if (bitCount_ == 4) {
        QImage out(width_, height_, QImage::Format_RGB32);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                out.setPixel(x, y, GetPixel(x, y));
        return out;
    }
    return AsConstQImage().copy();
}

TDIB TDIB::FromQImage(const QImage& image, int bitCount) {
    TDIB out;
    if (image.isNull()) return out;
    if (bitCount != 24 && bitCount != 32) {
        out = FromQImage(image, 32);
        out.SetBitCount(bitCount);
        return out;
    }
    const QImage src =
        image.convertToFormat(bitCount == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888);
    out.SetSize(src.width(), src.height(), bitCount);
    const size_t rowBytes = size_t(src.width()) * (bitCount / 8);
    for (int y = 0; y < src.height(); ++y)
        std::memcpy(out.PixelPtr(0, y), src.constScanLine(y), rowBytes);
    return out;
}

void TDIB::DetachCanvas() {
    if (!canvas_ || !canvas_->painter.isActive()) return;
    canvas_->pen = canvas_->painter.pen();
    canvas_->brush = canvas_->painter.brush();
    canvas_->font = canvas_->painter.font();
    canvas_->saved = true;
    canvas_->painter.end();
    canvas_->image = QImage();
}

void TDIB::AttachCanvas() {
    if (!canvas_) canvas_ = std::make_unique<CanvasState>();
    canvas_->image = AsQImage();
    canvas_->painter.begin(&canvas_->image);
    if (canvas_->saved) {
        canvas_->painter.setPen(canvas_->pen);
        canvas_->painter.setBrush(canvas_->brush);
        canvas_->painter.setFont(canvas_->font);
    }
}

QPainter* TDIB::Canvas() {
    if (Empty() || FormatOf(bitCount_, image_->format) == QImage::Format_Invalid) return nullptr;
    // Drawing on a shared image un-shares it first; a MemoryImage becomes the DIB-section kind.
    Changing(false);
    if (canvas_ && canvas_->painter.isActive() && canvas_->image.constBits() == bits_)
        return &canvas_->painter;
    DetachCanvas();
    AttachCanvas();
    return &canvas_->painter;
}

// ---- pixel operations -----------------------------------------------------------------------------

namespace {
bool Block(int bits) {
    return bits == 24 || bits == 32;
}

// Shrinks src (in a source of size sw x sh) and its target position so both lie inside their images.
bool ClipCopy(QRect& src, int& x, int& y, int sw, int sh, int dw, int dh) {
    QRect s = src.intersected(QRect(0, 0, sw, sh));
    x += s.left() - src.left();
    y += s.top() - src.top();
    const QRect d = QRect(x, y, s.width(), s.height()).intersected(QRect(0, 0, dw, dh));
    s = QRect(s.left() + d.left() - x, s.top() + d.top() - y, d.width(), d.height());
    x = d.left();
    y = d.top();
    src = s;
    return !s.isEmpty();
}
} // namespace

void TDIB::CopyRect(TDIB& dest, int x, int y, const QRect& src0) const {
    // Callers pass rectangles inside both images; clipping anyway keeps a wrong one from writing
    // outside the pixel memory.
    QRect src = src0;
    if (!ClipCopy(src, x, y, width_, height_, dest.width_, dest.height_)) return;
    if (bitCount_ == dest.bitCount_) {
        if (bitCount_ >= 8) {
            DibOps::Copy(ConstView(), src, dest.View(), x, y);
        } else {
            for (int j = 0; j < src.height(); ++j) {
                const uint8_t* s = PixelPtr(0, src.top() + j);
                uint8_t* d = dest.PixelPtr(0, y + j);
                for (int i = 0; i < src.width(); ++i)
                    WriteIndex(d, x + i, bitCount_, ReadIndex(s, src.left() + i, bitCount_));
            }
        }
        return;
    }
    if (bitCount_ == 24 && dest.bitCount_ == 32) DibOps::Copy24To32(ConstView(), src, dest.View(), x, y);
    // 32 -> 24 copies nothing.
}

void TDIB::CopyRectBorder(TDIB& dest, int x, int y, const QRect& src0, const QMargins& border,
                          bool replicate) const {
    if (!Block(bitCount_) || bitCount_ != dest.bitCount_) return;
    const QRect src = src0.intersected(QRect(0, 0, width_, height_));
    if (src.isEmpty() || border.left() < 0 || border.top() < 0 || border.right() < 0 || border.bottom() < 0)
        return;
    const int bpp = bitCount_ / 8;
    const int w = src.width() + border.left() + border.right(),
              h = src.height() + border.top() + border.bottom();
    // The source may be the destination: take the rectangle first.
    std::vector<uint8_t> block(size_t(src.width()) * src.height() * bpp);
    for (int j = 0; j < src.height(); ++j)
        std::memcpy(&block[size_t(j) * src.width() * bpp], PixelPtr(src.left(), src.top() + j),
                    size_t(src.width()) * bpp);
    std::vector<uint8_t> row(size_t(w) * bpp, 0);
    const QRect target = QRect(x, y, w, h).intersected(QRect(0, 0, dest.width_, dest.height_));
    for (int j = target.top(); j <= target.bottom(); ++j) {
        const int sj = j - y - border.top();
        if (!replicate && (sj < 0 || sj >= src.height())) {
            std::fill(row.begin(), row.end(), 0);
        } else {
            const uint8_t* s = &block[size_t(std::clamp(sj, 0, src.height() - 1)) * src.width() * bpp];
            std::memcpy(&row[size_t(border.left()) * bpp], s, size_t(src.width()) * bpp);
            for (int i = 0; i < border.left(); ++i)
                if (replicate)
                    std::memcpy(&row[size_t(i) * bpp], s, bpp);
                else
                    std::memset(&row[size_t(i) * bpp], 0, bpp);
            for (int i = border.left() + src.width(); i < w; ++i)
                if (replicate)
                    std::memcpy(&row[size_t(i) * bpp], s + size_t(src.width() - 1) * bpp, bpp);
                else
                    std::memset(&row[size_t(i) * bpp], 0, bpp);
        }
        std::memcpy(dest.PixelPtr(target.left(), j), &row[size_t(target.left() - x) * bpp],
                    size_t(target.width()) * bpp);
    }
}

void TDIB::Grow(const QMargins& m, TMarginFill fillMode, uint32_t colour) {
    if (Empty() || m.isNull()) return;
    const int cl = std::max(-m.left(), 0), ct = std::max(-m.top(), 0), cr = std::max(-m.right(), 0),
              cb = std::max(-m.bottom(), 0);
    const int nw = width_ + m.left() + m.right(), nh = height_ + m.top() + m.bottom();
    const TDIB old(*this);
    TDIB grown;
    grown.memoryKind_ = MemoryImage();
    grown.requestedFormat_ = image_->format;
    grown.SetSize(nw, nh, bitCount_);
    if (grown.Empty()) {
        Clear();
        return;
    }
    if (bitCount_ <= 8) grown.SetColorTable(image_->colorTable.data(), 256);
    old.CopyRect(grown, std::max(m.left(), 0), std::max(m.top(), 0),
                 QRect(cl, ct, width_ - cl - cr, height_ - ct - cb));
    grown.image_->Reference();
    ReplaceImage(grown.image_);
    FillMargins(QMargins(std::max(m.left(), 0), std::max(m.top(), 0), std::max(m.right(), 0),
                         std::max(m.bottom(), 0)),
                fillMode, colour);
}

void TDIB::FillMargins(const QMargins& m, TMarginFill mode, uint32_t colour) {
    if (Empty()) return;
    const int l = std::clamp(m.left(), 0, width_), t = std::clamp(m.top(), 0, height_);
    const int r = std::clamp(m.right(), 0, width_ - l), b = std::clamp(m.bottom(), 0, height_ - t);
    if (mode == TMarginFill::Colour) {
        FillRect(QRect(0, t, l, height_ - b - t), colour, 256);
        FillRect(QRect(width_ - r, t, r, height_ - b - t), colour, 256);
        FillRect(QRect(0, 0, width_, t), colour, 256);
        FillRect(QRect(0, height_ - b, width_, b), colour, 256);
        return;
    }
    if (mode != TMarginFill::Edge || bitCount_ != 32 || l + r >= width_ || t + b >= height_) return;
    for (int y = t; y < height_ - b; ++y) {
        uint32_t* row = PixelPtr32(0, y);
        std::fill_n(row, l, row[l]);
        std::fill_n(row + width_ - r, r, row[width_ - r - 1]);
    }
    for (int y = 0; y < t; ++y)
        std::memcpy(PixelPtr(0, y), PixelPtr(0, t), size_t(bytesPerRow_));
    for (int y = height_ - b; y < height_; ++y)
        std::memcpy(PixelPtr(0, y), PixelPtr(0, height_ - b - 1), size_t(bytesPerRow_));
}

void TDIB::FillRect(const QRect& r0, uint32_t colour, int alpha) {
    const QRect r = r0.intersected(clip_).intersected(QRect(0, 0, width_, height_));
    if (r.isEmpty() || !Block(bitCount_)) return;
    alpha = std::clamp(alpha, 0, 256);
    const DibOps::View v = View();
    uint32_t scaled = 0;
    for (int c = 0; c < 4; ++c)
        scaled |= ((((colour >> (8 * c)) & 0xFF) * uint32_t(alpha)) >> 8) << (8 * c);
    switch (writeMode_) {
    case 1:
        DibOps::AddSubC(v, r, scaled, 0);
        return;
    case 2:
        DibOps::AddSubC(v, r, 0, scaled);
        return;
    default:
        if (alpha >= 256)
            DibOps::FillSet(v, r, colour);
        else
            DibOps::FillBlend(v, r, colour, alpha);
    }
}

void TDIB::Tint(const QRect& r0, uint32_t colour, uint32_t reference) {
    const QRect r = r0.intersected(clip_).intersected(QRect(0, 0, width_, height_));
    if (r.isEmpty() || !Block(bitCount_)) return;
    uint32_t add = 0, sub = 0;
    for (int c = 0; c < 4; ++c) {
        const int d = int((colour >> (8 * c)) & 0xFF) - int((reference >> (8 * c)) & 0xFF);
        add |= uint32_t(std::max(d, 0)) << (8 * c);
        sub |= uint32_t(std::max(-d, 0)) << (8 * c);
    }
    DibOps::AddSubC(View(), r, add, sub);
}

void TDIB::Resize(TDIB& dest, const QRect& src, const QRect& dst, TInterpolation interpolation) const {
    if (src.isEmpty() || dst.isEmpty()) return;
    const double fx = double(dst.width()) / src.width(), fy = double(dst.height()) / src.height();
    ResizeSqr(dest, src, interpolation, fx, fy, dst.left() - fx * src.left(), dst.top() - fy * src.top(),
              dst);
}

void TDIB::ResizeSqr(TDIB& dest, const QRect& src, TInterpolation interpolation, double xFactor,
                     double yFactor, double xShift, double yShift, const QRect& dst) const {
    if (!Block(bitCount_) || bitCount_ != dest.bitCount_ || Empty() || dest.Empty()) return;
    DibOps::ResizeSqr(ConstView(), src, dest.View(), dst, xFactor, yFactor, xShift, yShift, interpolation);
}

void TDIB::ResizeCenter(TDIB& dest, const QRect& src, double xFactor, double yFactor, double xCenter,
                        double yCenter, TInterpolation interpolation) const {
    // The centre keeps its place: x' = xFactor * (x - xCenter) + xCenter.
    ResizeSqr(dest, src, interpolation, xFactor, yFactor, xCenter * (1 - xFactor), yCenter * (1 - yFactor),
              QRect(0, 0, dest.width_, dest.height_));
}

void TDIB::WarpQuad(TDIB& dest, const QRect& src, const QRect& dst, const std::array<QPointF, 4>& srcQuad,
                    const std::array<QPointF, 4>& dstQuad, TInterpolation interpolation) const {
    if (bitCount_ != 32 || dest.bitCount_ != 32) return;
    DibOps::WarpQuad(ConstView(), src, srcQuad, dest.View(), dst, dstQuad, interpolation);
}

void TDIB::BoxFilter(const QRect& r0, const QSize& mask, const QPoint& anchor) {
    if (!Block(bitCount_) || mask.width() <= 0 || mask.height() <= 0) return;
    if (anchor.x() < 0 || anchor.y() < 0 || anchor.x() >= mask.width() || anchor.y() >= mask.height()) return;
    if (width_ < r0.left() + mask.width() + 2 * anchor.x() ||
        height_ < r0.top() + mask.height() + 2 * anchor.y())
        return;
    const QRect r = r0.intersected(QRect(0, 0, width_, height_));
    DibOps::BoxFilter(View(), r, mask.width(), mask.height(), anchor.x(), anchor.y());
}

void TDIB::Blur(const QRect& r0, const QSize& kernel, int passes) {
    const QRect r = r0.intersected(clip_).intersected(QRect(0, 0, width_, height_));
    if (r.isEmpty() || !Block(bitCount_)) return;
    const int hx = std::max(kernel.width(), 0) / 2, hy = std::max(kernel.height(), 0) / 2;
    TDIBmp temp(r.width() + 2 * hx, r.height() + 2 * hy, bitCount_, true);
    CopyRectBorder(temp, 0, 0, r, QMargins(hx, hy, hx, hy), true);
    for (int i = 0; i < passes; ++i)
        temp.BoxFilter(QRect(0, 0, temp.Width(), temp.Height()), QSize(2 * hx + 1, 2 * hy + 1),
                       QPoint(hx, hy));
    temp.CopyRect(*this, r.left(), r.top(), QRect(hx, hy, r.width(), r.height()));
}

void TDIB::PremultiplyAlpha(const QRect& r0) {
    const QRect r = r0.intersected(QRect(0, 0, width_, height_));
    if (bitCount_ != 32 || r.isEmpty()) return;
    DibOps::Premultiply(View(), r);
}

void TDIB::AlphaBands(std::vector<QRect>& out, int minAlpha) const {
    const QRect all(0, 0, width_, height_);
    if (bitCount_ != 32) {
        out.clear();
        if (!all.isEmpty()) out.push_back(all);
        return;
    }
    DibOps::AlphaBands(ConstView(), all, minAlpha, out);
}

void TDIB::AlphaDraw(TDIB& dest, int x, int y, const QRect& src0, int constAlpha) const {
    QRect src = src0;
    if (!Block(bitCount_) || !Block(dest.bitCount_) || src.isEmpty()) return;
    if (!ClipCopy(src, x, y, width_, height_, dest.width_, dest.height_)) return;
    DibOps::AlphaBlend(ConstView(), src, dest.View(), x, y, std::clamp(constAlpha, 0, 255), bitCount_ == 32);
}

void TDIB::DrawTo(TDIB& dest, int x, int y, const QRect& src0) const {
    QRect src = src0;
    if (!ClipCopy(src, x, y, width_, height_, dest.width_, dest.height_)) return;
    if (bitCount_ == 32 && dest.bitCount_ == 24)
        DibOps::Copy32To24(ConstView(), src, dest.View(), x, y);
    else if (bitCount_ == dest.bitCount_ || (bitCount_ == 24 && dest.bitCount_ == 32))
        CopyRect(dest, x, y, src);
    else
        for (int j = 0; j < src.height(); ++j)
            for (int i = 0; i < src.width(); ++i)
                dest.SetPixelColour(x + i, y + j, GetPixel(src.left() + i, src.top() + j));
}

void TDIB::SetPixelColour(int x, int y, uint32_t colour) {
    uint8_t* row = PixelPtr(0, y);
    if (bitCount_ > 8) {
        WriteColour(row, x, bitCount_, image_->format, colour);
        return;
    }
    // Nearest entry of the colour table.
    int best = 0, bestDistance = INT32_MAX;
    for (int i = 0; i < image_->paletteCount; ++i) {
        const uint32_t e = image_->colorTable[i];
        const int dr = int((e >> 16) & 0xFF) - int((colour >> 16) & 0xFF);
        const int dg = int((e >> 8) & 0xFF) - int((colour >> 8) & 0xFF);
        const int db = int(e & 0xFF) - int(colour & 0xFF);
        const int dist = dr * dr + dg * dg + db * db;
        if (dist < bestDistance) {
            bestDistance = dist;
            best = i;
        }
    }
    WriteIndex(row, x, bitCount_, uint32_t(best));
}

void TDIB::DrawTo(QPainter& painter, int x, int y, const QRect& src) const {
    const QImage img = bitCount_ == 4 ? ToQImage() : AsConstQImage();
    if (img.isNull()) return;
    // A copy, not a blend, as a block transfer is.
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(x, y), img, src);
    painter.setCompositionMode(mode);
}

void TDIB::Draw(QPainter& painter, const QRect& r) const {
    if (Empty()) return;
    const QImage img = bitCount_ == 4 ? ToQImage() : AsConstQImage();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(r, img);
    painter.restore();
}

// ---- TDIBmp ---------------------------------------------------------------------------------------

TDIBmp& TDIBmp::operator=(const TDIBmp& other) {
    ilCount_ = other.ilCount_;
    drawMode_ = other.drawMode_;
    Assign(other);
    return *this;
}

TDIBmp& TDIBmp::operator=(const TDIB& other) {
    Assign(other);
    return *this;
}

int TDIBmp::CellWidth() const {
    if (ilCount_ > 0) return Width() / ilCount_;
    return -ilCount_;
}

int TDIBmp::CellCount() const {
    if (ilCount_ < 0) return Width() / -ilCount_;
    return ilCount_;
}

QRect TDIBmp::CellRect(int n) const {
    const int x = n < 0 ? -n : n * CellWidth();
    return QRect(x, 0, CellWidth(), Height());
}

void TDIBmp::DrawCell(TDIB& dest, int x, int y, const QRect& src) const {
    const QRect target = QRect(x, y, src.width(), src.height()).intersected(dest.ClipRect());
    if (target.isEmpty()) return;
    const QRect shifted(src.left() + target.left() - x, src.top() + target.top() - y, target.width(),
                        target.height());
    if (drawMode_ == TDIBmpDrawMode::dmAlphaBlend && BitCount() == 32) {
        AlphaDraw(dest, target.left(), target.top(), shifted, 255);
        return;
    }
    if (drawMode_ == TDIBmpDrawMode::dmTransparent && BitCount() == 8 && Block(dest.BitCount())) {
        // Index 0 is the transparent key.
        QRect s = shifted;
        int tx = target.left(), ty = target.top();
        if (!ClipCopy(s, tx, ty, Width(), Height(), dest.Width(), dest.Height())) return;
        const auto& table = ColorTable();
        for (int j = 0; j < s.height(); ++j) {
            const uint8_t* row = PixelPtr(s.left(), s.top() + j);
            for (int i = 0; i < s.width(); ++i)
                if (row[i] != 0) {
                    uint8_t* d = dest.PixelPtr(tx + i, ty + j);
                    const uint32_t c = table[row[i]];
                    d[0] = uint8_t(c);
                    d[1] = uint8_t(c >> 8);
                    d[2] = uint8_t(c >> 16);
                    if (dest.BitCount() == 32) d[3] = 0xFF;
                }
        }
        return;
    }
    DrawTo(dest, x, y, src);
}

// ---- scratch image --------------------------------------------------------------------------------

namespace {
TDIB* tempDib = nullptr;
bool tempBusy = false;
} // namespace

TDIB* GetTempDIB(int width, int height) {
    if (tempBusy) return new TDIB(width, height, 24);
    if (!tempDib)
        tempDib = new TDIB(width, height, 24);
    else if (tempDib->Width() < width || tempDib->Height() < height)
        tempDib->SetSize(width, height, 24);
    tempBusy = true;
    return tempDib;
}

void ReleaseTempDIB(TDIB* dib) {
    if (dib == tempDib)
        tempBusy = false;
    else
        delete dib;
}
