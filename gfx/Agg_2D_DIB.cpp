// The rasteriser pipelines are typedef'd chains here: path -> curve flattener -> (dash) -> stroker ->
// scanline rasteriser -> solid renderer over a B,G,R or B,G,R,A pixel format. Glyph outlines come from the
// FreeType engine, typefaces from fontconfig.
#include "Agg_2D_DIB.h"

#include "DIBmp.h"

#include <agg_basics.h>
#include <agg_conv_curve.h>
#include <agg_conv_dash.h>
#include <agg_conv_stroke.h>
#include <agg_conv_transform.h>
#include <agg_font_freetype.h>
#include <agg_path_storage.h>
#include <agg_path_storage_integer.h>
#include <agg_pixfmt_rgb.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_p.h>
#include <agg_trans_affine.h>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using FlatCurve = agg::conv_curve<agg::path_storage>;
using Stroke = agg::conv_stroke<FlatCurve>;
using Dash = agg::conv_dash<FlatCurve>;
using DashStroke = agg::conv_stroke<Dash>;
// Clipping in doubles: a stray far-away point must not overflow the rasteriser's fixed-point cells.
using ScanRasterizer = agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl>;
using Scanline = agg::scanline_p8;
using GlyphOutline = agg::serialized_integer_path_adaptor<agg::int32, 6>;
using FontEngine = agg::font_engine_freetype_int32;

using PixFmt24 = agg::pixfmt_bgr24;
using PixFmt32 = agg::pixfmt_bgra32;
using CompBlender = agg::comp_op_adaptor_rgba<agg::rgba8, agg::order_bgra>;
using PixFmt32CompBase = agg::pixfmt_custom_blend_rgba<CompBlender, agg::rendering_buffer>;

// The compositing format with a fast path for clear: the lasso cut clears millions of fully covered
// pixels, which the generic operator table visits one indirect call at a time. Partial coverage rounds
// exactly as the library's clear operator does.
class PixFmt32Comp : public PixFmt32CompBase {
  public:
    using PixFmt32CompBase::PixFmt32CompBase;

    void blend_hline(int x, int y, unsigned len, const color_type& c, agg::int8u cover) {
        if (comp_op() != agg::comp_op_clear) return PixFmt32CompBase::blend_hline(x, y, len, c, cover);
        uint8_t* p = row_ptr(y) + x * 4;
        if (cover == agg::cover_full) {
            std::memset(p, 0, len * 4);
            return;
        }
        ScalePixels(p, len, agg::int8u(agg::cover_full - cover));
    }
    void blend_solid_hspan(int x, int y, unsigned len, const color_type& c, const agg::int8u* covers) {
        if (comp_op() != agg::comp_op_clear) return PixFmt32CompBase::blend_solid_hspan(x, y, len, c, covers);
        uint8_t* p = row_ptr(y) + x * 4;
        for (unsigned i = 0; i < len; ++i, p += 4)
            ScalePixels(p, 1, agg::int8u(agg::cover_full - covers[i]));
    }

  private:
    static void ScalePixels(uint8_t* p, unsigned len, agg::int8u keep) {
        for (unsigned i = 0; i < len * 4; ++i)
            p[i] = agg::rgba8::mult_cover(p[i], keep);
    }
};

using Base24 = agg::renderer_base<PixFmt24>;
using Base32 = agg::renderer_base<PixFmt32>;
using Base32Comp = agg::renderer_base<PixFmt32Comp>;

// The blend-mode numbers follow the classic 28-entry operator list; this system's library drops minus,
// contrast, invert and invert-rgb, so its numbers shift after plus. -1: no such operator here.
int LibraryCompOp(uint8_t mode) {
    if (mode <= 12) return mode;                   // clear .. plus
    if (mode >= 14 && mode <= 24) return mode - 1; // multiply .. exclusion
    return -1;
}

agg::rgba8 ToLibraryColor(AggColor c) {
    return agg::rgba8(c.r, c.g, c.b, c.a);
}

bool Finite(double x, double y) {
    return std::isfinite(x) && std::isfinite(y);
}

// Truncation toward zero of a clip coordinate, kept within int range.
int ClipCoordinate(double v) {
    if (!std::isfinite(v)) return v > 0 ? 1 << 30 : (v < 0 ? -(1 << 30) : 0);
    return int(std::clamp(v, -1e9, 1e9));
}

// Decodes one UTF-8 code point at s[i]; a malformed sequence yields U+FFFD for its first byte.
char32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return uint8_t(s[k]); };
    const uint8_t b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= s.size() || (byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return cp;
}

constexpr double ObliqueSlant = 0.2; // fontconfig's own synthetic italic shear

// ----- Typeface matching (process-wide: the export makes a new wrapper per file) -----

struct FaceRef {
    std::string file;
    int index = 0;
    double slant = 0; // shear of a synthetic italic: x shift per pixel of height above the baseline
    bool operator==(const FaceRef&) const = default;
};

class FontMatcher {
  public:
    static FontMatcher& Instance() {
        static FontMatcher matcher;
        return matcher;
    }

    // The typeface fontconfig picks for a family (its substitute when the family is not installed).
    FaceRef Match(const std::string& family, bool bold, bool italic) {
        std::lock_guard lock(m_mutex);
        const auto key = std::make_tuple(family, bold, italic);
        if (auto it = m_byFamily.find(key); it != m_byFamily.end()) return it->second;
        FaceRef face = Query(family.c_str(), bold, italic, 0);
        m_byFamily.emplace(key, face);
        return face;
    }

    // A typeface that has the code point, or an empty file name when none has it.
    FaceRef MatchFor(char32_t cp, bool bold, bool italic) {
        std::lock_guard lock(m_mutex);
        const auto key = std::make_tuple(cp, bold, italic);
        if (auto it = m_byChar.find(key); it != m_byChar.end()) return it->second;
        FaceRef face = Query("sans-serif", bold, italic, cp);
        m_byChar.emplace(key, face);
        return face;
    }

  private:
    static FaceRef Query(const char* family, bool bold, bool italic, char32_t cp) {
        FaceRef face;
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        if (cp) {
            FcCharSet* chars = FcCharSetCreate();
            FcCharSetAddChar(chars, cp);
            FcPatternAddCharSet(pattern, FC_CHARSET, chars);
            FcCharSetDestroy(chars);
        }
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) return face;
        FcChar8* file = nullptr;
        int index = 0;
        int slant = FC_SLANT_ROMAN;
        FcMatrix* matrix = nullptr;
        FcCharSet* chars = nullptr;
        bool usable = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
        if (usable && cp)
            usable = FcPatternGetCharSet(match, FC_CHARSET, 0, &chars) == FcResultMatch &&
                     FcCharSetHasChar(chars, cp);
        if (usable) {
            face.file = reinterpret_cast<const char*>(file);
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            face.index = index;
            // A family without an italic face leans its upright one: fontconfig's synthetic-italic rule
            // says so with a shear matrix; without that rule the match stays roman.
            if (FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix &&
                matrix->xy != 0)
                face.slant = matrix->xy;
            else if (italic && FcPatternGetInteger(match, FC_SLANT, 0, &slant) == FcResultMatch &&
                     slant == FC_SLANT_ROMAN)
                face.slant = ObliqueSlant;
        }
        FcPatternDestroy(match);
        return face;
    }

    std::mutex m_mutex;
    std::map<std::tuple<std::string, bool, bool>, FaceRef> m_byFamily;
    std::map<std::tuple<char32_t, bool, bool>, FaceRef> m_byChar;
};

// ----- Sized fonts and their glyphs -----

struct Glyph {
    unsigned index = 0; // 0: the typeface has no glyph for the code point
    std::vector<agg::int8u> outline;
    agg::rect_i bounds{0, 0, 0, 0};
    double advanceX = 0;
    double advanceY = 0;
};

struct SizedFont {
    FaceRef face;
    double height = 0;
    bool hints = true;
    int serial = 0; // identifies the engine set-up, which pointers cannot after a free
    std::unordered_map<char32_t, Glyph> glyphs;
};

constexpr size_t MaxCachedFonts = 32;

} // namespace

struct TAgg2D::Impl {
    // Target
    agg::rendering_buffer buffer;
    int bitCount = 0;
    PixFmt24 pixf24{buffer};
    PixFmt32 pixf32{buffer};
    PixFmt32Comp pixfComp{buffer};
    Base24 base24{pixf24};
    Base32 base32{pixf32};
    Base32Comp baseComp{pixfComp};
    bool clipEmpty = false;

    // Drawing state
    AggColor fillColor{255, 255, 255, 255};
    AggColor lineColor{0, 0, 0, 255};
    double lineWidth = 1;
    AggLineCap lineCap = AggLineCap::Round;
    AggLineJoin lineJoin = AggLineJoin::Round;
    uint8_t blendMode = AggBlendAlpha;
    AggAlignH alignH = AggAlignH::Left;
    AggAlignV alignV = AggAlignV::Baseline;

    // Pipeline
    agg::path_storage path;
    FlatCurve curve{path};
    Stroke stroke{curve};
    ScanRasterizer ras;
    Scanline scanline;

    // Text
    bool textHints = true;
    std::string typeface;
    double fontHeight = 0;
    double fontAngle = 0;
    bool fontBold = false;
    bool fontItalic = false;
    std::shared_ptr<SizedFont> font;                   // the family's own face
    std::vector<std::shared_ptr<SizedFont>> fallbacks; // faces found for code points it lacks
    std::unordered_set<char32_t> noGlyphAnywhere;
    std::vector<std::shared_ptr<SizedFont>> cache; // most recently used last
    FontEngine engine{MaxCachedFonts};
    int activeSerial = -1;
    int nextSerial = 0;

    void ApplyClip(int x1, int y1, int x2, int y2) {
        base24.clip_box(x1, y1, x2, y2);
        base32.clip_box(x1, y1, x2, y2);
        clipEmpty = !baseComp.clip_box(x1, y1, x2, y2);
        // The rasteriser gets the renderer's whole-pixel box, so edge columns keep their full coverage.
        if (clipEmpty)
            ras.clip_box(0, 0, 0, 0);
        else
            ras.clip_box(baseComp.xmin(), baseComp.ymin(), baseComp.xmax() + 1.0, baseComp.ymax() + 1.0);
    }

    void Render(AggColor paint) {
        if (bitCount == 0 || clipEmpty || paint.a == 0) return;
        const agg::rgba8 color = ToLibraryColor(paint);
        const int op = LibraryCompOp(blendMode);
        if (bitCount == 24) {
            agg::render_scanlines_aa_solid(ras, scanline, base24, color);
        } else if (blendMode == AggBlendAlpha || op < 0) {
            agg::render_scanlines_aa_solid(ras, scanline, base32, color);
        } else {
            pixfComp.comp_op(unsigned(op));
            agg::render_scanlines_aa_solid(ras, scanline, baseComp, color);
        }
    }

    void DrawPath(PathDrawMode mode) {
        ras.reset();
        const bool stroking = lineColor.a != 0 && lineWidth > 0;
        switch (mode) {
        case PathDrawMode::FillOnly:
            if (fillColor.a != 0) {
                ras.add_path(curve);
                Render(fillColor);
            }
            break;
        case PathDrawMode::StrokeOnly:
            if (stroking) {
                AddStroke();
                Render(lineColor);
            }
            break;
        case PathDrawMode::FillAndStroke:
            if (fillColor.a != 0) {
                ras.add_path(curve);
                Render(fillColor);
            }
            if (stroking) {
                ras.reset();
                AddStroke();
                Render(lineColor);
            }
            break;
        case PathDrawMode::FillWithLineColor:
            if (lineColor.a != 0) {
                ras.add_path(curve);
                Render(lineColor);
            }
            break;
        }
    }

    void AddStroke() {
        stroke.width(lineWidth);
        stroke.line_cap(agg::line_cap_e(lineCap));
        stroke.line_join(agg::line_join_e(lineJoin));
        ras.add_path(stroke);
    }

    void SetPoints(const double* points, int count) {
        path.remove_all();
        if (!points) return;
        for (int i = 0; i < count; ++i)
            AddPoint(points[2 * i], points[2 * i + 1]);
    }
    void SetPoints(std::span<const TPointD> points) {
        path.remove_all();
        for (const TPointD& p : points)
            AddPoint(p.x, p.y);
    }
    // The first finite point starts the path, every later one is a line to it; others are skipped.
    void AddPoint(double x, double y) {
        if (!Finite(x, y)) return;
        if (path.total_vertices() == 0)
            path.move_to(x, y);
        else
            path.line_to(x, y);
    }

    // ----- fonts -----

    std::shared_ptr<SizedFont> GetSizedFont(const FaceRef& face, double height, bool hints) {
        for (size_t i = 0; i < cache.size(); ++i) {
            auto& f = cache[i];
            if (f->face == face && f->height == height && f->hints == hints) {
                auto hit = f;
                cache.erase(cache.begin() + long(i));
                cache.push_back(hit);
                return hit;
            }
        }
        auto f = std::make_shared<SizedFont>();
        f->face = face;
        f->height = height;
        f->hints = hints;
        f->serial = nextSerial++;
        if (cache.size() >= MaxCachedFonts) cache.erase(cache.begin());
        cache.push_back(f);
        return f;
    }

    // Points the engine at the sized font. False if its file cannot be loaded.
    bool Activate(SizedFont& f) {
        if (activeSerial == f.serial) return true;
        activeSerial = -1;
        // The engine keeps its open faces by file name alone; a face other than the first of a
        // collection gets a distinct spelling of the same path.
        std::string name = f.face.file;
        if (f.face.index > 0) {
            const size_t slash = name.rfind('/');
            std::string dots;
            for (int i = 0; i < f.face.index; ++i)
                dots += "./";
            name.insert(slash == std::string::npos ? 0 : slash + 1, dots);
        }
        if (!engine.load_font(name.c_str(), unsigned(f.face.index), agg::glyph_ren_outline)) return false;
        engine.hinting(f.hints);
        engine.flip_y(true);
        if (!engine.height(f.height)) return false;
        activeSerial = f.serial;
        return true;
    }

    const Glyph& GetGlyph(SizedFont& f, char32_t cp) {
        if (auto it = f.glyphs.find(cp); it != f.glyphs.end()) return it->second;
        Glyph g;
        // The engine answers a missing character with the .notdef glyph (index 0): no glyph.
        if (Activate(f) && engine.prepare_glyph(cp) && engine.glyph_index() != 0) {
            g.index = engine.glyph_index();
            g.outline.resize(engine.data_size());
            if (!g.outline.empty()) engine.write_glyph_to(g.outline.data());
            g.bounds = engine.bounds();
            g.advanceX = engine.advance_x();
            g.advanceY = engine.advance_y();
        }
        return f.glyphs.emplace(cp, std::move(g)).first->second;
    }

    // The glyph for a code point from the family's face or a fallback face; null when none has it.
    std::pair<SizedFont*, const Glyph*> Resolve(char32_t cp) {
        if (!font) return {nullptr, nullptr};
        if (const Glyph& g = GetGlyph(*font, cp); g.index) return {font.get(), &g};
        if (noGlyphAnywhere.count(cp)) return {nullptr, nullptr};
        for (auto& f : fallbacks)
            if (const Glyph& g = GetGlyph(*f, cp); g.index) return {f.get(), &g};
        const FaceRef face = FontMatcher::Instance().MatchFor(cp, fontBold, fontItalic);
        if (!face.file.empty() && !(face == font->face)) {
            // Same size and hinting as the family's face, whatever SetTextHints said since.
            auto f = GetSizedFont(face, font->height, font->hints);
            const Glyph& g = GetGlyph(*f, cp);
            if (g.index) {
                fallbacks.push_back(f);
                return {f.get(), &g};
            }
        }
        noGlyphAnywhere.insert(cp);
        return {nullptr, nullptr};
    }

    double Kerning(SizedFont& f, unsigned previous, unsigned current) {
        double dx = 0, dy = 0;
        if (Activate(f)) engine.add_kerning(previous, current, &dx, &dy);
        return dx;
    }

    // Walks the string's glyphs with their pen positions (relative to the start).
    template <class Visit> void ForEachGlyph(std::string_view s, Visit visit) {
        double penX = 0, penY = 0;
        SizedFont* previousFont = nullptr;
        unsigned previousIndex = 0;
        for (size_t i = 0; i < s.size();) {
            const char32_t cp = NextCodePoint(s, i);
            auto [f, g] = Resolve(cp);
            if (!g) continue;
            if (f == previousFont && previousIndex) penX += Kerning(*f, previousIndex, g->index);
            visit(*f, *g, penX, penY);
            penX += g->advanceX;
            penY += g->advanceY;
            previousFont = f;
            previousIndex = g->index;
        }
    }
};

// ----- TAgg2D -----

TAgg2D::TAgg2D() : d(std::make_unique<Impl>()) {
    d->ras.gamma(agg::gamma_none());
    d->ras.filling_rule(agg::fill_non_zero);
    d->engine.flip_y(true);
}

TAgg2D::~TAgg2D() = default;

bool TAgg2D::Attach(TDIB& dib) {
    if (dib.Empty() || (dib.BitCount() != 24 && dib.BitCount() != 32)) return false;
    if (dib.Width() <= 0 || dib.Height() <= 0 || !dib.Bits()) return false;
    d->buffer.attach(dib.Bits(), unsigned(dib.Width()), unsigned(dib.Height()), dib.BytesPerRow());
    d->bitCount = dib.BitCount();
    d->pixf24.attach(d->buffer);
    d->pixf32.attach(d->buffer);
    d->pixfComp.attach(d->buffer);
    d->base24.attach(d->pixf24);
    d->base32.attach(d->pixf32);
    d->baseComp.attach(d->pixfComp);

    d->lineWidth = 1;
    d->lineColor = AggColor(0, 0, 0, 255);
    d->fillColor = AggColor(255, 255, 255, 255);
    d->alignH = AggAlignH::Left;
    d->alignV = AggAlignV::Baseline;
    SetClipBox(0, 0, dib.Width(), dib.Height());
    d->lineCap = AggLineCap::Round;
    d->lineJoin = AggLineJoin::Round;
    d->engine.flip_y(true);
    d->ras.gamma(agg::gamma_none());
    d->blendMode = AggBlendAlpha;
    d->ras.filling_rule(agg::fill_non_zero);
    d->ras.reset();
    d->path.remove_all();
    return true;
}

bool TAgg2D::Attached() const {
    return d->bitCount != 0;
}

void TAgg2D::SetClipBox(double x1, double y1, double x2, double y2) {
    if (!Attached()) return;
    d->ApplyClip(ClipCoordinate(x1), ClipCoordinate(y1), ClipCoordinate(x2), ClipCoordinate(y2));
}

void TAgg2D::SetBlendMode(uint8_t mode) {
    d->blendMode = mode;
}
uint8_t TAgg2D::BlendMode() const {
    return d->blendMode;
}

void TAgg2D::SetFillColor(AggColor c) {
    d->fillColor = c;
}
void TAgg2D::SetFillColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    d->fillColor = AggColor(red, green, blue, alpha);
}
void TAgg2D::SetNoFill() {
    d->fillColor = AggColor(0, 0, 0, 0);
}
AggColor TAgg2D::FillColor() const {
    return d->fillColor;
}

void TAgg2D::SetLineColor(AggColor c) {
    d->lineColor = c;
}
void TAgg2D::SetLineColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    d->lineColor = AggColor(red, green, blue, alpha);
}
void TAgg2D::SetLineColorArgb(uint32_t argb) {
    d->lineColor = AggColor::FromArgb(argb);
}
AggColor TAgg2D::LineColor() const {
    return d->lineColor;
}

void TAgg2D::SetLineWidth(double width) {
    d->lineWidth = width;
}
double TAgg2D::LineWidth() const {
    return d->lineWidth;
}
void TAgg2D::SetLineCap(AggLineCap cap) {
    d->lineCap = cap;
}
void TAgg2D::SetLineJoin(AggLineJoin join) {
    d->lineJoin = join;
}

void TAgg2D::Polygon(const double* points, int count, PathDrawMode mode) {
    d->SetPoints(points, count);
    ClosePolygon();
    DrawPath(mode);
}

void TAgg2D::Polyline(const double* points, int count) {
    d->SetPoints(points, count);
    DrawPath(PathDrawMode::StrokeOnly);
}

void TAgg2D::Polygon(std::span<const TPointD> points, PathDrawMode mode) {
    d->SetPoints(points);
    ClosePolygon();
    DrawPath(mode);
}

void TAgg2D::Polyline(std::span<const TPointD> points) {
    d->SetPoints(points);
    DrawPath(PathDrawMode::StrokeOnly);
}

void TAgg2D::ResetPath() {
    d->path.remove_all();
}

void TAgg2D::ClosePolygon() {
    if (d->path.total_vertices() > 0) d->path.close_polygon();
}

void TAgg2D::DrawPath(PathDrawMode mode) {
    if (!Attached()) return;
    d->DrawPath(mode);
}

void TAgg2D::RenderCoverage(bool useFillPaint) {
    d->Render(useFillPaint ? d->fillColor : d->lineColor);
}

// ----- Text -----

void TAgg2D::SetFont(const std::string& typeface, bool bold, double height, bool italic, double angle) {
    d->typeface = typeface;
    d->fontHeight = height;
    d->fontAngle = angle;
    d->fontBold = bold;
    d->fontItalic = italic;
    d->fallbacks.clear();
    d->noGlyphAnywhere.clear();
    d->font.reset();
    if (!(height > 0) || !std::isfinite(height)) return;
    const FaceRef face = FontMatcher::Instance().Match(typeface, bold, italic);
    if (face.file.empty()) return;
    d->font = d->GetSizedFont(face, height, d->textHints);
}

double TAgg2D::FontHeight() const {
    return d->fontHeight;
}

void TAgg2D::SetTextAlignment(AggAlignH horizontal, AggAlignV vertical) {
    d->alignH = horizontal;
    d->alignV = vertical;
}

void TAgg2D::SetTextHints(bool hints) {
    d->textHints = hints;
}

double TAgg2D::TextWidth(std::string_view utf8) {
    double width = 0;
    d->ForEachGlyph(utf8,
                    [&](SizedFont&, const Glyph& g, double penX, double) { width = penX + g.advanceX; });
    return width;
}

void TAgg2D::DrawText(std::string_view utf8, bool roundOff, double x, double y, double dx, double dy) {
    if (!Attached() || !d->font) return;
    double offsetX = 0;
    if (d->alignH == AggAlignH::Right)
        offsetX = -TextWidth(utf8);
    else if (d->alignH == AggAlignH::Center)
        offsetX = -TextWidth(utf8) / 2;

    double ascent = d->fontHeight;
    if (const Glyph& h = d->GetGlyph(*d->font, U'H'); h.index) ascent = h.bounds.y2 - h.bounds.y1;
    double offsetY = 0;
    if (d->alignV == AggAlignV::Top)
        offsetY = -ascent;
    else if (d->alignV == AggAlignV::Middle)
        offsetY = -ascent / 2;
    offsetY = -offsetY; // glyphs stand upright in y-down coordinates

    double startX = x + offsetX, startY = y + offsetY;
    if (roundOff) {
        startX = std::trunc(startX);
        startY = std::trunc(startY);
    }
    startX += dx;
    startY += dy;

    agg::trans_affine turn = agg::trans_affine_translation(-x, -y);
    turn *= agg::trans_affine_rotation(d->fontAngle);
    turn *= agg::trans_affine_translation(x, y);

    d->ForEachGlyph(utf8, [&](SizedFont& f, const Glyph& g, double penX, double penY) {
        if (g.outline.empty()) return; // a space: advance only
        const double gx = startX + penX, gy = startY + penY;
        GlyphOutline outline;
        outline.init(g.outline.data(), unsigned(g.outline.size()), gx, gy);
        agg::trans_affine mtx;
        if (f.face.slant != 0) {
            mtx = agg::trans_affine_translation(-gx, -gy);
            mtx *= agg::trans_affine(1, 0, -f.face.slant, 1, 0, 0); // y grows downward
            mtx *= agg::trans_affine_translation(gx, gy);
        }
        mtx *= turn;
        agg::conv_transform<GlyphOutline> placed(outline, mtx);
        d->path.remove_all();
        d->path.concat_path(placed);
        d->DrawPath(PathDrawMode::FillAndStroke);
    });
}

// ----- The exposed members -----

void TAggPath::RemoveAll() {
    m_owner.d->path.remove_all();
}
void TAggPath::MoveTo(double x, double y) {
    if (Finite(x, y)) m_owner.d->path.move_to(x, y);
}
void TAggPath::LineTo(double x, double y) {
    if (Finite(x, y)) m_owner.d->path.line_to(x, y);
}
void TAggPath::ClosePolygon() {
    m_owner.ClosePolygon();
}
unsigned TAggPath::TotalVertices() const {
    return m_owner.d->path.total_vertices();
}

struct TAggDashStroke::Impl {
    explicit Impl(FlatCurve& curve) : dash(curve), stroke(dash) {}
    Dash dash;
    DashStroke stroke;
    double width = 1;
    bool hasDash = false;
};

TAggDashStroke::TAggDashStroke(TAggCurve& source) : d(std::make_unique<Impl>(source.m_owner.d->curve)) {
    d->stroke.width(1);
    d->stroke.line_cap(agg::round_cap);
    d->stroke.line_join(agg::round_join);
}

TAggDashStroke::~TAggDashStroke() = default;

void TAggDashStroke::SetDash(double dashLength, double gapLength) {
    d->dash.remove_all_dashes();
    // A pattern without length would never advance along the path.
    d->hasDash = std::isfinite(dashLength) && std::isfinite(gapLength) && dashLength > 0 && gapLength >= 0;
    if (d->hasDash) d->dash.add_dash(dashLength, gapLength);
}
void TAggDashStroke::SetDashStart(double offset) {
    if (std::isfinite(offset)) d->dash.dash_start(offset);
}
void TAggDashStroke::SetWidth(double width) {
    d->width = width;
    if (width > 0) d->stroke.width(width);
}
void TAggDashStroke::SetCap(AggLineCap cap) {
    d->stroke.line_cap(agg::line_cap_e(cap));
}
void TAggDashStroke::SetJoin(AggLineJoin join) {
    d->stroke.line_join(agg::line_join_e(join));
}

void TAggRasterizer::Reset() {
    m_owner.d->ras.reset();
}
void TAggRasterizer::AddPath(TAggCurve& flattenedPath) {
    m_owner.d->ras.add_path(flattenedPath.m_owner.d->curve);
}
void TAggRasterizer::AddPath(TAggDashStroke& stroke) {
    if (stroke.d->hasDash && stroke.d->width > 0) m_owner.d->ras.add_path(stroke.d->stroke);
}
