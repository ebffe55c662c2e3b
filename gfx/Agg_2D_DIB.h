// TAgg2D: the program's one vector-drawing object. It draws anti-aliased polygons, polylines and outline
// text straight into the pixels of a 24-bit (B,G,R) or 32-bit (B,G,R,A, premultiplied) TDIB. The overlay
// draws its lasso cut and dashed outline with it, confirming a capture cuts the lasso mask with it, the
// ink pen strokes with it and the export prints its caption with it.
//
// The wrapper owns no image: Attach binds it to a TDIB's pixel memory (the TDIB must stay alive and keep
// its size while attached) and resets every drawing setting except the font. Coordinates are pixels of
// the attached image, x to the right, y downward, (0,0) the top-left corner of the top-left pixel.
//
// Text is UTF-8. Every code point is one glyph; a code point the chosen typeface lacks is taken from a
// fallback typeface that has it (so a Chinese window title prints as Chinese), and one no installed
// typeface has is skipped without advance. Kerning applies between neighbouring glyphs of one typeface.
//
// The rasteriser library stays inside Agg_2D_DIB.cpp; this header shows only the program's own types.
// Used on one thread at a time.
#pragma once

#include "PointD.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

class TDIB;
class TAgg2D;

// A paint colour, four bytes in memory order blue, green, red, alpha, so that the 32-bit value read
// little-endian is 0xAARRGGBB. Alpha 0 paints nothing.
struct AggColor {
    uint8_t b = 0, g = 0, r = 0, a = 0;

    constexpr AggColor() = default;
    constexpr AggColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255)
        : b(blue), g(green), r(red), a(alpha) {}
    static constexpr AggColor FromArgb(uint32_t argb) {
        return AggColor(uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24));
    }
    constexpr uint32_t Argb() const { return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b; }
    constexpr bool operator==(const AggColor&) const = default;
};
static_assert(sizeof(AggColor) == 4, "AggColor is laid out like a 32-bit pixel");

// How DrawPath, Polygon and Polyline paint the path. Any other value draws nothing.
enum class PathDrawMode : int { FillOnly = 0, StrokeOnly = 1, FillAndStroke = 2, FillWithLineColor = 3 };

// Stroke ends and corners, numbered as in the rasteriser library.
enum class AggLineCap : int { Butt = 0, Square = 1, Round = 2 };
enum class AggLineJoin : int { Miter = 0, MiterRevert = 1, Round = 2, Bevel = 3, MiterRound = 4 };

// Blend modes are the compositing operator numbers of the rasteriser library's classic list. Only these
// two are used by the program; numbers the library on this system lacks draw as plain alpha.
constexpr uint8_t AggBlendClear = 0;  // drives all four channels toward 0 in proportion to coverage
constexpr uint8_t AggBlendAlpha = 28; // source over with the paint's alpha (the default)

// Horizontal and vertical anchors of DrawText.
enum class AggAlignH : int { Left = 0, Right = 1, Center = 2 };
enum class AggAlignV : int { Baseline = 0, Top = 1, Middle = 2 };

// The path of a TAgg2D: move-to/line-to commands with double coordinates. Owned by its TAgg2D.
class TAggPath {
  public:
    void RemoveAll(); // empties the path; the pen goes to (0,0)
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void ClosePolygon(); // closes the current sub-path if it has a vertex
    unsigned TotalVertices() const;

  private:
    friend class TAgg2D;
    explicit TAggPath(TAgg2D& owner) : m_owner(owner) {}
    TAgg2D& m_owner;
};

// The curve-flattened view of a TAgg2D's path: the source the overlay feeds its own dashed stroke from.
class TAggCurve {
  private:
    friend class TAgg2D;
    friend class TAggDashStroke;
    friend class TAggRasterizer;
    explicit TAggCurve(TAgg2D& owner) : m_owner(owner) {}
    TAgg2D& m_owner;
};

// A dashed stroke over a TAgg2D's curve view (dash, gap, dash start, width, cap, join), for the overlay's
// selection outline. Reads the path each time it is added to the rasteriser; must not outlive the TAgg2D
// whose curve view it was made over.
class TAggDashStroke {
  public:
    explicit TAggDashStroke(TAggCurve& source);
    ~TAggDashStroke();
    TAggDashStroke(const TAggDashStroke&) = delete;
    TAggDashStroke& operator=(const TAggDashStroke&) = delete;

    void SetDash(double dashLength, double gapLength); // replaces any earlier dash pattern
    void SetDashStart(double offset);
    void SetWidth(double width);
    void SetCap(AggLineCap cap);
    void SetJoin(AggLineJoin join);

  private:
    friend class TAggRasterizer;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The anti-aliasing scanline rasteriser of a TAgg2D (8-bit coverage, non-zero fill, identity gamma).
// Clipped to the wrapper's clip box. RenderCoverage paints what it holds.
class TAggRasterizer {
  public:
    void Reset();
    void AddPath(TAggCurve& flattenedPath); // the filled area of the path
    void AddPath(TAggDashStroke& stroke);   // the outline of the stroke's dashes

  private:
    friend class TAgg2D;
    explicit TAggRasterizer(TAgg2D& owner) : m_owner(owner) {}
    TAgg2D& m_owner;
};

class TAgg2D {
  public:
    // Builds the pipeline and the font engine. Attach before drawing.
    TAgg2D();
    ~TAgg2D();
    TAgg2D(const TAgg2D&) = delete;
    TAgg2D& operator=(const TAgg2D&) = delete;

    // Binds to the DIB's pixels and resets the drawing state (not the font or the text hints). False, with
    // the earlier binding kept, for an empty DIB or a bit depth other than 24 or 32.
    bool Attach(TDIB& dib);
    bool Attach(TDIB* dib) { return dib ? Attach(*dib) : false; }
    bool Attached() const;

    // Limits drawing to the pixels x1 <= x <= x2, y1 <= y <= y2 (truncated toward zero), within the image.
    void SetClipBox(double x1, double y1, double x2, double y2);
    // AggBlendAlpha or AggBlendClear (and the other operator numbers); only 32-bit targets honour it.
    void SetBlendMode(uint8_t mode);
    uint8_t BlendMode() const;

    void SetFillColor(AggColor c);
    void SetFillColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    void SetNoFill();
    AggColor FillColor() const;
    void SetLineColor(AggColor c);
    void SetLineColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    void SetLineColorArgb(uint32_t argb);
    AggColor LineColor() const;
    void SetLineWidth(double width); // 0 or less disables stroking
    double LineWidth() const;
    void SetLineCap(AggLineCap cap);
    void SetLineJoin(AggLineJoin join);

    // points holds count (x, y) pairs. Polygon closes the path; Polyline strokes it open.
    void Polygon(const double* points, int count, PathDrawMode mode);
    void Polyline(const double* points, int count);
    // The same from points (the same vertices in the same order).
    void Polygon(std::span<const TPointD> points, PathDrawMode mode);
    void Polyline(std::span<const TPointD> points);

    // Height in pixels (the em size). Typefaces are chosen by family name through the system's font
    // matching; a missing family gets its substitute.
    void SetFont(const std::string& typeface, bool bold, double height, bool italic = false,
                 double angle = 0);
    double FontHeight() const;
    void SetTextAlignment(AggAlignH horizontal, AggAlignV vertical);
    void SetTextHints(bool hints); // takes effect at the next SetFont
    double TextWidth(std::string_view utf8);
    // The string's baseline starts at (x, y) moved by the alignment (truncated to whole pixels when
    // roundOff), then by (dx, dy); the text is turned by the font angle about (x, y). Each glyph is drawn
    // with FillAndStroke.
    void DrawText(std::string_view utf8, bool roundOff, double x, double y, double dx = 0, double dy = 0);

    void ResetPath();
    void ClosePolygon();
    void DrawPath(PathDrawMode mode);
    // Paints the rasteriser's coverage with the fill paint (true) or the line paint (false).
    void RenderCoverage(bool useFillPaint);

    // The three members the overlay feeds its own dash-and-stroke chain through.
    TAggPath& Path() { return m_path; }
    TAggCurve& Curve() { return m_curve; }
    TAggRasterizer& Rasterizer() { return m_rasterizer; }

  private:
    struct Impl; // the rasteriser library's objects
    friend class TAggPath;
    friend class TAggCurve;
    friend class TAggDashStroke;
    friend class TAggRasterizer;

    std::unique_ptr<Impl> d;
    TAggPath m_path{*this};
    TAggCurve m_curve{*this};
    TAggRasterizer m_rasterizer{*this};
};
