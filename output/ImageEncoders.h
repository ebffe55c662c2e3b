// The image file encoders of the export: PNG through libpng (with zlib), JPEG through libjpeg, BMP
// through the image library's own writer, WebP through libwebp and AVIF through libavif.
//
// Every encoder writes to a sink, so the caller decides where the bytes go (a temporary file that is
// renamed when complete, a buffer, a device that fails on purpose in a test). An encoder returns false
// with a reason when the sink refuses bytes or the library reports an error; what it wrote up to then
// is the caller's to throw away. The images are only read.
#pragma once

#include <QString>

#include <cstdint>

class QIODevice;
class TDIB;

// PNG: 8 bits per channel, not interlaced, every row filtered with the Sub filter, zlib at `level`.
// A 32-bit source (premultiplied B,G,R,A) is written as RGB with its colour bytes as they are, or,
// with `withAlpha`, as RGBA whose colours are un-premultiplied (v * 255 / a, integer division; a
// pixel of alpha 0 keeps its bytes). A 24-bit source is always written as RGB.
bool WritePng(const TDIB& image, bool withAlpha, QIODevice& out, QString* error = nullptr, int level = 9);

// Baseline JPEG of three colour components at quality 10..100 (other values are clamped), the
// library's defaults otherwise. Reads 24-bit or 32-bit sources (alpha ignored).
bool WriteJpeg(const TDIB& image, int quality, QIODevice& out, QString* error = nullptr);

// The image library's BMP file (top-down, the image's own bit depth).
bool WriteBmp(const TDIB& image, QIODevice& out, QString* error = nullptr);

// WebP of a 24- or 32-bit source. Quality 100 (or more) is lossless: every byte is kept, also the
// colour under alpha 0. Below, lossy at that quality (at least 10), the alpha plane still lossless. The
// colours and the alpha are taken as WritePng takes them: with `withAlpha` a 32-bit source keeps its
// un-premultiplied alpha, otherwise the picture is opaque with the colour bytes as they are.
bool WriteWebp(const TDIB& image, bool withAlpha, int quality, QIODevice& out, QString* error = nullptr);

// AVIF (8 bits, full range, 4:4:4) of a 24- or 32-bit source, colour and alpha as WriteWebp takes
// them. Quality 100 is lossless: the identity matrix (the planes are G, B, R) and quantizer 0 for
// colour and alpha, so the file decodes to exactly the pixels written. Below, lossy with the sRGB
// (BT.601) matrix and a colour quantizer falling from 63 at quality 0 towards 0 at 100; the alpha plane
// stays lossless.
bool WriteAvif(const TDIB& image, bool withAlpha, int quality, QIODevice& out, QString* error = nullptr);

// One row of premultiplied B,G,R,A turned into straight R,G,B,A as the PNG encoder writes it.
void UnpremultiplyRowToRgba(const uint8_t* bgra, uint8_t* rgba, int width);
// One row of B,G,R,A (or B,G,R when `bytesPerPixel` is 3) turned into R,G,B with the colour bytes kept.
void RowToRgb(const uint8_t* source, int bytesPerPixel, uint8_t* rgb, int width);
