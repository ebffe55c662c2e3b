// The reference-counted pixel store behind TDIB (private to the image library).
#pragma once

#include "DIBmp.h"

#include <vector>

class TDIBSharedImage {
  public:
    // A new image with one reference; throws on a bad format ("Bitcount in invalid (%d)",
    // "PixelFormat in invalid"), "DIB cannot be made" or std::bad_alloc. Pixels are zero-filled.
    static TDIBSharedImage* Make(int width, int height, int bitCount, const PixelFormat& format,
                                 const std::array<uint32_t, 256>& colorTable, bool memoryImage);
    // The process-wide empty image (never freed).
    static TDIBSharedImage* Empty();

    void Reference() { ++refCount; }
    void Release();

    int refCount = 1;
    int bitCount = 0;
    std::vector<uint8_t> info; // header (+ masks) + colour table, exactly as stored
    std::array<uint32_t, 256> colorTable{};
    int colorTablePos = 40;
    int paletteCount = 0;
    TPalette palette;
    bool paletteChanged = true;
    uint8_t* bits = nullptr;
    PixelFormat format = PixelFormat::Default();
    qsizetype size = 0;
    uint8_t* topBits = nullptr;
    int width = 0, height = 0, bytesPerRow = 0;
    bool compressed = false;
    bool memoryImage = false;
    bool isEmpty = false;

  private:
    TDIBSharedImage() = default;
    ~TDIBSharedImage();
    void* block_ = nullptr; // the allocation behind bits (bits is its 64-byte aligned start)
};

// The largest image the library makes or loads: 2^28 pixels.
constexpr qint64 MaxPixels = qint64(1) << 28;

// Little-endian field access for the loaders.
inline uint32_t ReadLE32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t ReadLE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline void WriteLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

[[noreturn]] void ThrowInvalidDib();
