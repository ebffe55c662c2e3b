// The program's one image type.
//
// A TDIB is a device-independent bitmap: rows top-down, BytesPerRow padded to 4 bytes, 24-bit pixels
// B,G,R and 32-bit pixels B,G,R,A (premultiplied wherever they are composited). The pixels live in a
// reference-counted TDIBSharedImage, so assigning one TDIB to another shares them instead of copying.
// Two memory kinds exist: the "DIB section" kind (the default) also offers a Canvas, a QPainter on a
// QImage that views the very same bytes; the MemoryImage kind is plain heap memory without one.
//
// The block operations (copy, fill, tint, resize, warp, box filter, blur, premultiply, alpha draw) are
// this library's own loops with fixed arithmetic; see DibOps.h for the plain views they work on.
//
// Rectangles are QRect (left, top, width, height). Colours are 0xAARRGGBB (memory order B,G,R,A).
// Errors are exceptions with fixed English messages; a replacement that fails keeps the old image.
// Not thread-safe: every TDIB is made, drawn and freed on one thread.
#pragma once

#include "DibOps.h"
#include "Interpolation.h"

#include <QImage>
#include <QList>
#include <QMargins>
#include <QPointF>
#include <QRect>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QByteArray;
class QIODevice;
class QPainter;
class QString;

// The framework's "invalid graphic operation": bad bit count, bad masks, invalid DIB data.
class EInvalidGraphicOperation : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// The framework's "out of resources": "DIB cannot be made".
class EOutOfResources : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// Out of memory is std::bad_alloc.

// Channel masks and the shifts that move a channel to and from the top of a byte.
struct PixelFormat {
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    uint32_t redCount = 0, greenCount = 0, blueCount = 0;
    uint32_t redShift = 0, greenShift = 0, blueShift = 0; // to the top of a byte (see Make)
    uint32_t redFill = 0, greenFill = 0, blueFill = 0;    // 8 - count
    static PixelFormat Make(int r, int g, int b);
    static PixelFormat Default() { return Make(8, 8, 8); }
    // From three masks: bit counts are the masks' lengths (the masks themselves are kept).
    static PixelFormat FromMasks(uint32_t red, uint32_t green, uint32_t blue);
    bool SameMasks(const PixelFormat& o) const {
        return redMask == o.redMask && greenMask == o.greenMask && blueMask == o.blueMask;
    }
    bool operator==(const PixelFormat&) const = default;
};

// Throws "Bitcount in invalid (%d)" / "PixelFormat in invalid" unless the pair is accepted.
void CheckPixelFormat(int bitCount, const PixelFormat& format);

class TDIBSharedImage;
class TPaletteItem;

// A shared colour table of an image of 8 bits or fewer; equal tables share one item.
using TPalette = std::shared_ptr<const TPaletteItem>;

// How the margins of a grown image are filled (the numbers are the image library's own).
enum class TMarginFill : int { Leave = -1, Colour = 0, Edge = 1 };

class TDIB {
  public:
    TDIB(); // empty image
    TDIB(int width, int height, int bitCount, bool memoryImage = false);
    TDIB(const TDIB& other);            // shares the pixels
    TDIB& operator=(const TDIB& other); // shares the pixels
    virtual ~TDIB();

    // --- shape ---------------------------------------------------------------------------------
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    int BytesPerRow() const { return bytesPerRow_; }
    int NextLine() const { return -bytesPerRow_; }
    qsizetype Size() const { return size_; } // image size in bytes
    bool Empty() const { return size_ == 0; }
    bool MemoryImage() const;
    // Switches the memory kind (copies the pixels when it changes).
    void SetMemoryImage(bool memoryImage);

    // Bits() does NOT unshare: writes are seen by every sharer (CreateCopy first for a private image).
    uint8_t* Bits() { return bits_; }
    const uint8_t* Bits() const { return bits_; }
    // Rows counted from the bottom of the picture (only the file loaders use this).
    uint8_t* ScanLine(int y) { return topBits_ - qsizetype(y) * bytesPerRow_; }
    // No bounds check.
    uint8_t* PixelPtr(int x, int y) {
        return bits_ + qsizetype(y) * bytesPerRow_ + qsizetype(x) * (bitCount_ / 8);
    }
    const uint8_t* PixelPtr(int x, int y) const {
        return bits_ + qsizetype(y) * bytesPerRow_ + qsizetype(x) * (bitCount_ / 8);
    }
    uint32_t* PixelPtr32(int x, int y) { return reinterpret_cast<uint32_t*>(PixelPtr(x, y)); }
    // The pixels as the block operations take them (DibOps.h): the whole image, or its top-left
    // width x height part (which must lie inside the image). Bytes per pixel are BitCount() / 8.
    DibOps::View View() { return View(width_, height_); }
    DibOps::View View(int width, int height) { return {bits_, bytesPerRow_, width, height, bitCount_ / 8}; }
    DibOps::ConstView ConstView() const { return ConstView(width_, height_); }
    DibOps::ConstView ConstView(int width, int height) const {
        return {bits_, bytesPerRow_, width, height, bitCount_ / 8};
    }

    void SetSize(int width, int height, int bitCount);
    void SetWidth(int width);
    void SetHeight(int height);
    void SetBitCount(int bitCount);
    void CreateCopy(const TDIB& source, bool copyPixels);
    // The same object as other's (shares; nothing when already shared).
    void Assign(const TDIB& other);
    void Clear(); // becomes the empty image
    bool SharesWith(const TDIB& other) const;
    int RefCount() const;

    // The format used when the image is re-made; also checked against the bit count there.
    const PixelFormat& GetPixelFormat() const;
    void SetPixelFormat(const PixelFormat& format);

    // The colour table of images of 8 bits or fewer (0x00RRGGBB entries, 256 always kept).
    int PaletteCount() const;
    const std::array<uint32_t, 256>& ColorTable() const;
    void SetColorTable(const uint32_t* entries, int count);
    // Shared palette from the process-wide palette manager; null for images above 8 bits.
    TPalette Palette();

    // The header (+ masks + colour table) exactly as held.
    QByteArray BitmapInfo() const;

    // Pixel write mode of SetPixel and FillRect: 0 copy, 1 add, 2 subtract.
    void SetDrawMode(int mode) { writeMode_ = mode; }
    int WriteMode() const { return writeMode_; }
    void SetPixel(int x, int y, uint32_t colour); // 24/32 bits, honours the write mode
    uint32_t GetPixel(int x, int y) const;        // 0xAARRGGBB (24-bit: alpha 0xFF)
    // Any depth: the colour converted to the image's format (nearest table entry up to 8 bits).
    void SetPixelColour(int x, int y, uint32_t colour);

    // Reset to the whole image whenever the image changes.
    QRect ClipRect() const { return clip_; }
    void SetClipRect(const QRect& r) { clip_ = r; }

    // A painter on the pixels. Calling it un-shares a shared image first (so drawing leaves other
    // sharers alone) and turns a MemoryImage into the DIB-section kind. Call it again after anything
    // that may replace the image; the painter's pen, brush and font survive a replacement.
    // Null for an empty image and for 4-bit images (no QImage format).
    QPainter* Canvas();
    // A QImage viewing the same pixels (ARGB32_Premultiplied / BGR888 / Indexed8 / Mono / RGB555 /
    // RGB16), no copy; valid until the image is replaced.
    QImage AsQImage();
    // The same view, read-only: writing to it detaches a copy instead of changing the pixels.
    QImage AsConstQImage() const;
    QImage ToQImage() const;                                   // a deep copy
    static TDIB FromQImage(const QImage& image, int bitCount); // 24 or 32 (premultiplied)

    // --- pixel operations (24/32 bits unless said otherwise) ------------------------------------
    // No clipping: the caller passes rectangles inside both images. 32 -> 24 copies nothing.
    void CopyRect(TDIB& dest, int x, int y, const QRect& src) const;
    // Writes (w + l + r) x (h + t + b) at (x, y) with src at (l, t); border replicated or zero.
    void CopyRectBorder(TDIB& dest, int x, int y, const QRect& src, const QMargins& border,
                        bool replicate) const;
    // Negative margins crop; new margins are filled as FillMargins fills them.
    void Grow(const QMargins& margins, TMarginFill fill = TMarginFill::Leave, uint32_t colour = 0);
    // Fills the margins with colour, or (32-bit only) replicates the edge pixels into them; Leave and
    // anything else leaves them as they are.
    void FillMargins(const QMargins& margins, TMarginFill fill, uint32_t colour);
    void FillRect(const QRect& r, uint32_t colour, int alpha = 256);
    void Tint(const QRect& r, uint32_t colour, uint32_t reference = 0x80808080u);
    // Resize, ResizeSqr and ResizeCenter draw nothing for an interpolation outside TInterpolation's values.
    void Resize(TDIB& dest, const QRect& src, const QRect& dst, TInterpolation interpolation) const;
    // Destination x shows source (x - xShift) / xFactor (pixel centres at +0.5); writes inside dst.
    void ResizeSqr(TDIB& dest, const QRect& src, TInterpolation interpolation, double xFactor, double yFactor,
                   double xShift, double yShift, const QRect& dst) const;
    // Scales about (xCenter, yCenter) in source coordinates, which stays fixed; writes the whole dest.
    void ResizeCenter(TDIB& dest, const QRect& src, double xFactor, double yFactor, double xCenter,
                      double yCenter, TInterpolation interpolation) const;
    // 32-bit only: maps the source quadrangle onto the destination quadrangle (perspective).
    void WarpQuad(TDIB& dest, const QRect& src, const QRect& dst, const std::array<QPointF, 4>& srcQuad,
                  const std::array<QPointF, 4>& dstQuad, TInterpolation interpolation) const;
    void BoxFilter(const QRect& r, const QSize& mask, const QPoint& anchor);
    void Blur(const QRect& r, const QSize& kernel, int passes);
    void PremultiplyAlpha(const QRect& r);
    // The pixels whose alpha is at least minAlpha, as banded rectangles (see DibOps::AlphaBands); an
    // image without alpha is one rectangle. `out` keeps its capacity, so a caller that keeps it
    // allocates nothing once it is large enough.
    void AlphaBands(std::vector<QRect>& out, int minAlpha) const;
    // Premultiplied source over dest with constant alpha 0..255 (source alpha used when 32-bit).
    void AlphaDraw(TDIB& dest, int x, int y, const QRect& src, int constAlpha = 255) const;
    // Plain copy of src to (x, y) (clipped to both images; 32 -> 24 drops alpha, 24 -> 32 gives 0xFF).
    void DrawTo(TDIB& dest, int x, int y, const QRect& src) const;
    void DrawTo(QPainter& painter, int x, int y, const QRect& src) const;
    // The framework graphic draw: nearest-neighbour stretch into r.
    void Draw(QPainter& painter, const QRect& r) const;

    // --- streams, files, clipboard -------------------------------------------------------------
    // BMP file: 14-byte file header + stored form; top-down. Nothing for an empty image.
    void SaveToStream(QIODevice& out) const;
    // Nothing at the end of the stream; "DIB is invalid" unless "BM" follows.
    void LoadFromStream(QIODevice& in);
    // The stored form: bitmap info then pixels.
    void WriteStoredForm(QIODevice& out) const;
    QByteArray StoredForm() const;
    void ReadStoredForm(QIODevice& in);
    void LoadStoredForm(const QByteArray& data);
    // By extension: .BMP, .PNG, .TGA, else Qt's readers.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const; // BMP
    void LoadFromBmpData(const QByteArray& data);
    void LoadFromPngData(const QByteArray& data);
    void LoadFromTgaData(const QByteArray& data);
    // The clipboard block (CF_DIB): the stored form without palette.
    QByteArray ClipboardData() const;
    void LoadFromClipboardData(const QByteArray& data);
    bool PremultiplyOnPngLoad = true;

    // Called after every change of the shared image.
    std::function<void()> OnChange;

  protected:
    virtual void Changed();
    // Runs before writing through the canvas or changing palette/depth.
    void Changing(bool wantMemoryImage);
    void ReplaceImage(TDIBSharedImage* image); // takes one reference
    TDIBSharedImage* image_ = nullptr;

  private:
    friend class TDIBmp;
    void Refresh();
    void AttachCanvas();
    void DetachCanvas();
    void ReadDib(const uint8_t* data, qsizetype size, qsizetype pixelOffset);

    int width_ = 0, height_ = 0, bitCount_ = 0, bytesPerRow_ = 0;
    qsizetype size_ = 0;
    uint8_t* bits_ = nullptr;
    uint8_t* topBits_ = nullptr;
    PixelFormat requestedFormat_ = PixelFormat::Default();
    bool memoryKind_ = false; // the kind an empty image is re-made with
    int writeMode_ = 0;
    QRect clip_;
    struct CanvasState;
    std::unique_ptr<CanvasState> canvas_;
};

enum class TDIBmpDrawMode { dmNormal = 0, dmTransparent = 1, dmBlend = 2, dmAlphaBlend = 3 };

// An image strip of equal cells side by side.
class TDIBmp : public TDIB {
  public:
    using TDIB::TDIB;
    TDIBmp(const TDIBmp&) = default;
    TDIBmp& operator=(const TDIBmp& other); // copies ILCount and DrawMode, shares the pixels
    TDIBmp& operator=(const TDIB& other);   // shares the pixels only

    int ILCount() const { return ilCount_; }
    void SetILCount(int count) { ilCount_ = count; }
    TDIBmpDrawMode DrawMode() const { return drawMode_; }
    using TDIB::SetDrawMode;
    void SetDrawMode(TDIBmpDrawMode mode) { drawMode_ = mode; }

    int CellWidth() const;
    int CellCount() const;
    QRect CellRect(int n) const; // negative n: pixel offset -n
    void DrawCell(TDIB& dest, int x, int y, const QRect& src) const;
    void DrawCell(TDIB& dest, int x, int y, int cell) const { DrawCell(dest, x, y, CellRect(cell)); }

  private:
    int ilCount_ = 1;
    TDIBmpDrawMode drawMode_ = TDIBmpDrawMode::dmNormal;
};

// The shared scratch image for flicker-free painting (24-bit, possibly larger than asked).
TDIB* GetTempDIB(int width, int height);
void ReleaseTempDIB(TDIB* dib);

// The process-wide palette cache (images of 8 bits or fewer).
class TPaletteItem {
  public:
    std::array<uint32_t, 256> entries{};
    int count = 0;
    uint32_t checksum = 0;              // count + sum of R+G+B over the entries
    QList<uint32_t> ColorTable() const; // as QImage wants it (0xFFRRGGBB)
};
class TPaletteManager {
  public:
    static TPalette Get(const uint32_t* entries, int count);
    static int ItemCount(); // live items (for tests)
};
