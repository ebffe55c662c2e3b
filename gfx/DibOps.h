// The block operations of the image library on plain views (pointer, stride, size, bytes per pixel).
//
// TDIB owns pixels; these functions only borrow them. Every rectangle passed here is already inside the
// view (the callers clip or, where the contract says so, trust the caller). Each fast loop has a plain
// "Ref" twin with the same arithmetic that the tests compare it with.
#pragma once

#include "Interpolation.h"

#include <QRect>
#include <QPointF>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace DibOps {

// Pixels that are only read: the sources of the operations below.
struct ConstView {
    const uint8_t* bits = nullptr;
    ptrdiff_t stride = 0; // bytes between rows
    int width = 0, height = 0;
    int bpp = 4; // bytes per pixel: 3 or 4
    const uint8_t* Row(int y) const { return bits + ptrdiff_t(y) * stride; }
    const uint8_t* Pixel(int x, int y) const { return Row(y) + ptrdiff_t(x) * bpp; }
};

// Pixels that are written: destinations and in-place operations. Any View reads as a ConstView.
struct View {
    uint8_t* bits = nullptr;
    ptrdiff_t stride = 0; // bytes between rows
    int width = 0, height = 0;
    int bpp = 4; // bytes per pixel: 3 or 4
    uint8_t* Row(int y) const { return bits + ptrdiff_t(y) * stride; }
    uint8_t* Pixel(int x, int y) const { return Row(y) + ptrdiff_t(x) * bpp; }
    operator ConstView() const { return {bits, stride, width, height, bpp}; }
};

// Same depth: rows by memcpy (overlap within one image handled).
void Copy(const ConstView& src, const QRect& r, const View& dst, int x, int y);
// 24 -> 32 with alpha 0xFF.
void Copy24To32(const ConstView& src, const QRect& r, const View& dst, int x, int y);
void Copy24To32Ref(const ConstView& src, const QRect& r, const View& dst, int x, int y);
// 32 -> 24 dropping alpha.
void Copy32To24(const ConstView& src, const QRect& r, const View& dst, int x, int y);
void Copy32To24Ref(const ConstView& src, const QRect& r, const View& dst, int x, int y);
// A premultiplied B,G,R,A colour laid over an opaque source (24 bits, or 32 with the fourth byte
// ignored) into a 32-bit destination, which comes out opaque: per channel
// c + src * (255 - a) / 255, rounded as AlphaBlend rounds. The same as filling a 32-bit image with
// the colour and alpha-drawing it over the source.
void TintOver(const ConstView& src, const QRect& r, const View& dst, int x, int y, uint32_t colour);
void TintOverRef(const ConstView& src, const QRect& r, const View& dst, int x, int y, uint32_t colour);

// Sets every pixel to the colour (0xAARRGGBB; 24-bit takes B,G,R).
void FillSet(const View& v, const QRect& r, uint32_t colour);
// new = (colour * alpha) div 256 + (old * (256 - alpha)) div 256 per channel (alpha 0..255).
void FillBlend(const View& v, const QRect& r, uint32_t colour, int alpha);
void FillBlendRef(const View& v, const QRect& r, uint32_t colour, int alpha);
// Saturating add and subtract of per-channel constants (bytes of add/sub in memory order B,G,R,A).
void AddSubC(const View& v, const QRect& r, uint32_t add, uint32_t sub);
void AddSubCRef(const View& v, const QRect& r, uint32_t add, uint32_t sub);

// In place: each pixel of the (r.w - mw + 1) x (r.h - mh + 1) area at r.topLeft + anchor becomes the
// rounded mean (sum + n/2) div n of the mw x mh neighbourhood with the anchor on it, from the
// original values.
void BoxFilter(const View& v, const QRect& r, int mw, int mh, int ax, int ay);
void BoxFilterRef(const View& v, const QRect& r, int mw, int mh, int ax, int ay);

// 32-bit: colour = round(colour * alpha / 255).
void Premultiply(const View& v, const QRect& r);
void PremultiplyRef(const View& v, const QRect& r);

// Source over destination: premultiplied source (32-bit, srcAlpha true) or opaque source with
// constant alpha ca: d = s*ca/255 + d*(255 - sa*ca/255)/255, each division rounded, saturated.
void AlphaBlend(const ConstView& src, const QRect& r, const View& dst, int x, int y, int ca, bool srcAlpha);
void AlphaBlendRef(const ConstView& src, const QRect& r, const View& dst, int x, int y, int ca,
                   bool srcAlpha);

// The pixels of a 32-bit area whose alpha is at least minAlpha, as rectangles relative to the area's
// top-left corner in the X server's banded form: bands of rows top to bottom, each band's rectangles
// sharing its top and height, left to right and not touching; two neighbouring rows with the same runs
// are one band. `out` is cleared first and keeps its capacity.
void AlphaBands(const ConstView& v, const QRect& r, int minAlpha, std::vector<QRect>& out);
void AlphaBandsRef(const ConstView& v, const QRect& r, int minAlpha, std::vector<QRect>& out);

// Rounded c * a / 255 for c, a in 0..255.
inline uint32_t Div255(uint32_t v) {
    v += 128;
    return (v + (v >> 8)) >> 8;
}

// Resampling. Destination pixel x (absolute) shows source point (x + 0.5 - xShift) / xFactor - 0.5;
// only destination pixels whose centre maps into src (and that lie in dstClip) are written; source
// reads are clamped to src (edge pixels replicated). A value outside TInterpolation's is refused (false).
bool ResizeSqr(const ConstView& src, const QRect& srcRect, const View& dst, const QRect& dstClip,
               double xFactor, double yFactor, double xShift, double yShift, TInterpolation interpolation);
// A plain double-precision model of ResizeSqr (slow; for tests).
void ResizeSqrModel(const ConstView& src, const QRect& srcRect, const View& dst, const QRect& dstClip,
                    double xFactor, double yFactor, double xShift, double yShift,
                    TInterpolation interpolation);
// The written destination area of ResizeSqr.
QRect ResizeDestArea(const QRect& srcRect, const QRect& dstClip, double xFactor, double yFactor,
                     double xShift, double yShift);
// One-dimensional kernels (the IPP ones): Catmull-Rom cubic and 3-lobed Lanczos.
double CubicKernel(double t);
double LanczosKernel(double t);

// 32-bit perspective warp: the source quadrangle (inside srcRect) onto the destination quadrangle;
// destination pixels inside the destination quadrangle and dstClip are written. Every interpolation but
// nearest and cubic reads linearly.
bool WarpQuad(const ConstView& src, const QRect& srcRect, const std::array<QPointF, 4>& srcQuad,
              const View& dst, const QRect& dstClip, const std::array<QPointF, 4>& dstQuad,
              TInterpolation interpolation);
bool WarpQuadRef(const ConstView& src, const QRect& srcRect, const std::array<QPointF, 4>& srcQuad,
                 const View& dst, const QRect& dstClip, const std::array<QPointF, 4>& dstQuad,
                 TInterpolation interpolation);

} // namespace DibOps
