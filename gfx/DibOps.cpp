// Block loops of the image library. Each hot loop works a row at a time without per-pixel calls so the
// compiler vectorises it; on x86-64 the hottest ones are also built for AVX2 and picked at run time.
#include "DibOps.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// Sanitizer runtimes start after the resolvers of cloned functions run, and an instrumented
// resolver crashes at load: sanitizer builds use the plain loops only.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) &&     \
    !defined(__SANITIZE_THREAD__)
#define VEX_HOT __attribute__((target_clones("avx2", "default")))
#else
#define VEX_HOT
#endif

namespace DibOps {

using enum TInterpolation;

namespace {

inline uint8_t Channel(uint32_t colour, int c) {
    return uint8_t(colour >> (8 * c));
}

// A byte pattern of the colour repeated over n pixels of bpp bytes.
void Pattern(std::vector<uint8_t>& out, size_t pixels, int bpp, const uint8_t* values) {
    out.resize(pixels * bpp);
    for (size_t i = 0; i < pixels; ++i)
        std::memcpy(&out[i * bpp], values, bpp);
}

} // namespace

// ---- copies ---------------------------------------------------------------------------------------

void Copy(const ConstView& src, const QRect& r, const View& dst, int x, int y) {
    if (r.isEmpty()) return;
    const size_t bytes = size_t(r.width()) * src.bpp;
    // Within one image a move downwards must run from the bottom row up.
    const bool upwards = src.bits == dst.bits && y > r.top();
    for (int j = 0; j < r.height(); ++j) {
        const int jj = upwards ? r.height() - 1 - j : j;
        std::memmove(dst.Pixel(x, y + jj), src.Pixel(r.left(), r.top() + jj), bytes);
    }
}

void Copy24To32Ref(const ConstView& src, const QRect& r, const View& dst, int x, int y) {
    for (int j = 0; j < r.height(); ++j) {
        const uint8_t* s = src.Pixel(r.left(), r.top() + j);
        uint8_t* d = dst.Pixel(x, y + j);
        for (int i = 0; i < r.width(); ++i) {
            d[4 * i] = s[3 * i];
            d[4 * i + 1] = s[3 * i + 1];
            d[4 * i + 2] = s[3 * i + 2];
            d[4 * i + 3] = 0xFF;
        }
    }
}

#if defined(__x86_64__)
__attribute__((target("ssse3"))) static void Copy24To32Row_SSSE3(const uint8_t* s, uint8_t* d, int w) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    int i = 0;
    // A 16-byte load at pixel i reads up to byte 3i + 15, which must stay inside the row.
    for (; i + 6 <= w; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * i));
        v = _mm_or_si128(_mm_shuffle_epi8(v, shuffle), alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), v);
    }
    for (; i < w; ++i) {
        d[4 * i] = s[3 * i];
        d[4 * i + 1] = s[3 * i + 1];
        d[4 * i + 2] = s[3 * i + 2];
        d[4 * i + 3] = 0xFF;
    }
}
#endif

void Copy24To32(const ConstView& src, const QRect& r, const View& dst, int x, int y) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        for (int j = 0; j < r.height(); ++j)
            Copy24To32Row_SSSE3(src.Pixel(r.left(), r.top() + j), dst.Pixel(x, y + j), r.width());
        return;
    }
#endif
    Copy24To32Ref(src, r, dst, x, y);
}

void Copy32To24Ref(const ConstView& src, const QRect& r, const View& dst, int x, int y) {
    for (int j = 0; j < r.height(); ++j) {
        const uint8_t* s = src.Pixel(r.left(), r.top() + j);
        uint8_t* d = dst.Pixel(x, y + j);
        for (int i = 0; i < r.width(); ++i) {
            d[3 * i] = s[4 * i];
            d[3 * i + 1] = s[4 * i + 1];
            d[3 * i + 2] = s[4 * i + 2];
        }
    }
}

#if defined(__x86_64__)
__attribute__((target("ssse3"))) static void Copy32To24Row_SSSE3(const uint8_t* s, uint8_t* d, int w) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int i = 0;
    // A 16-byte store at pixel i writes up to byte 3i + 15, which must stay inside the row; the four
    // bytes past the pixels are written over by the next step.
    for (; i + 6 <= w; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * i), _mm_shuffle_epi8(v, shuffle));
    }
    for (; i < w; ++i) {
        d[3 * i] = s[4 * i];
        d[3 * i + 1] = s[4 * i + 1];
        d[3 * i + 2] = s[4 * i + 2];
    }
}
#endif

void Copy32To24(const ConstView& src, const QRect& r, const View& dst, int x, int y) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        for (int j = 0; j < r.height(); ++j)
            Copy32To24Row_SSSE3(src.Pixel(r.left(), r.top() + j), dst.Pixel(x, y + j), r.width());
        return;
    }
#endif
    Copy32To24Ref(src, r, dst, x, y);
}

void TintOverRef(const ConstView& src, const QRect& r, const View& dst, int x, int y, uint32_t colour) {
    const uint32_t keep = 255 - Channel(colour, 3);
    for (int j = 0; j < r.height(); ++j) {
        const uint8_t* s = src.Pixel(r.left(), r.top() + j);
        uint8_t* d = dst.Pixel(x, y + j);
        for (int i = 0; i < r.width(); ++i)
            for (int c = 0; c < 4; ++c) {
                const uint32_t sv = c < 3 ? s[i * src.bpp + c] : 255;
                d[4 * i + c] = uint8_t(std::min<uint32_t>(255, Channel(colour, c) + Div255(sv * keep)));
            }
    }
}

#if defined(__x86_64__)
// Four pixels at a time in 16-bit lanes: x * keep + 128 and the rounding add stay below 65536.
__attribute__((target("ssse3"))) static inline __m128i TintFour(__m128i px, __m128i keep, __m128i add) {
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(px, zero), keep), half);
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(px, zero), keep), half);
    lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), 8);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), 8);
    return _mm_adds_epu8(_mm_packus_epi16(lo, hi), add);
}

__attribute__((target("ssse3"))) static void TintOverRow_SSSE3(const uint8_t* s, int sbpp, uint8_t* d, int w,
                                                               uint32_t colour) {
    const __m128i keep = _mm_set1_epi16(short(255 - Channel(colour, 3)));
    const __m128i add = _mm_set1_epi32(int(colour));
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int i = 0;
    if (sbpp == 3) {
        // A 16-byte load at pixel i reads up to byte 3i + 15, which must stay inside the row.
        for (; i + 6 <= w; i += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * i));
            v = _mm_or_si128(_mm_shuffle_epi8(v, shuffle), opaque);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), TintFour(v, keep, add));
        }
    } else {
        for (; i + 4 <= w; i += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
            v = _mm_or_si128(v, opaque);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), TintFour(v, keep, add));
        }
    }
    const uint32_t k = 255 - Channel(colour, 3);
    for (; i < w; ++i)
        for (int c = 0; c < 4; ++c) {
            const uint32_t sv = c < 3 ? s[i * sbpp + c] : 255;
            d[4 * i + c] = uint8_t(std::min<uint32_t>(255, Channel(colour, c) + Div255(sv * k)));
        }
}
#endif

void TintOver(const ConstView& src, const QRect& r, const View& dst, int x, int y, uint32_t colour) {
    if (r.isEmpty()) return;
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        for (int j = 0; j < r.height(); ++j)
            TintOverRow_SSSE3(src.Pixel(r.left(), r.top() + j), src.bpp, dst.Pixel(x, y + j), r.width(),
                              colour);
        return;
    }
#endif
    TintOverRef(src, r, dst, x, y, colour);
}

// ---- fills ----------------------------------------------------------------------------------------

void FillSet(const View& v, const QRect& r, uint32_t colour) {
    if (r.isEmpty()) return;
    if (v.bpp == 4) {
        for (int j = 0; j < r.height(); ++j)
            std::fill_n(reinterpret_cast<uint32_t*>(v.Pixel(r.left(), r.top() + j)), r.width(), colour);
        return;
    }
    const uint8_t bytes[4] = {Channel(colour, 0), Channel(colour, 1), Channel(colour, 2), Channel(colour, 3)};
    std::vector<uint8_t> row;
    Pattern(row, r.width(), v.bpp, bytes);
    for (int j = 0; j < r.height(); ++j)
        std::memcpy(v.Pixel(r.left(), r.top() + j), row.data(), row.size());
}

void FillBlendRef(const View& v, const QRect& r, uint32_t colour, int alpha) {
    for (int j = 0; j < r.height(); ++j) {
        uint8_t* p = v.Pixel(r.left(), r.top() + j);
        for (int i = 0; i < r.width(); ++i)
            for (int c = 0; c < v.bpp; ++c) {
                const int n = Channel(colour, c) * alpha / 256 + p[i * v.bpp + c] * (256 - alpha) / 256;
                p[i * v.bpp + c] = uint8_t(std::min(n, 255));
            }
    }
}

VEX_HOT static void FillBlendRow(uint8_t* __restrict p, const uint8_t* __restrict add, size_t n,
                                 uint32_t keep) {
    // add + old * keep / 256 never exceeds 255 (both terms are rounded down), so no saturation.
    for (size_t i = 0; i < n; ++i)
        p[i] = uint8_t(add[i] + ((p[i] * keep) >> 8));
}

void FillBlend(const View& v, const QRect& r, uint32_t colour, int alpha) {
    if (r.isEmpty()) return;
    uint8_t bytes[4];
    for (int c = 0; c < 4; ++c)
        bytes[c] = uint8_t((Channel(colour, c) * alpha) >> 8);
    std::vector<uint8_t> add;
    Pattern(add, r.width(), v.bpp, bytes);
    for (int j = 0; j < r.height(); ++j)
        FillBlendRow(v.Pixel(r.left(), r.top() + j), add.data(), add.size(), uint32_t(256 - alpha));
}

void AddSubCRef(const View& v, const QRect& r, uint32_t add, uint32_t sub) {
    for (int j = 0; j < r.height(); ++j) {
        uint8_t* p = v.Pixel(r.left(), r.top() + j);
        for (int i = 0; i < r.width(); ++i)
            for (int c = 0; c < v.bpp; ++c) {
                int n = p[i * v.bpp + c] + Channel(add, c);
                n = std::min(n, 255) - Channel(sub, c);
                p[i * v.bpp + c] = uint8_t(std::max(n, 0));
            }
    }
}

VEX_HOT static void AddSubRow(uint8_t* __restrict p, const uint8_t* __restrict add,
                              const uint8_t* __restrict sub, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t a = uint8_t(p[i] + add[i]);
        const uint8_t s = a < p[i] ? uint8_t(255) : a;        // saturating add
        p[i] = s > sub[i] ? uint8_t(s - sub[i]) : uint8_t(0); // saturating subtract
    }
}

void AddSubC(const View& v, const QRect& r, uint32_t add, uint32_t sub) {
    if (r.isEmpty()) return;
    uint8_t a[4], s[4];
    for (int c = 0; c < 4; ++c) {
        a[c] = Channel(add, c);
        s[c] = Channel(sub, c);
    }
    std::vector<uint8_t> addRow, subRow;
    Pattern(addRow, r.width(), v.bpp, a);
    Pattern(subRow, r.width(), v.bpp, s);
    for (int j = 0; j < r.height(); ++j)
        AddSubRow(v.Pixel(r.left(), r.top() + j), addRow.data(), subRow.data(), addRow.size());
}

// ---- box filter -----------------------------------------------------------------------------------

void BoxFilterRef(const View& v, const QRect& r, int mw, int mh, int ax, int ay) {
    const int ow = r.width() - mw + 1, oh = r.height() - mh + 1;
    if (ow <= 0 || oh <= 0) return;
    const int n = mw * mh, bpp = v.bpp;
    std::vector<uint8_t> out(size_t(ow) * oh * bpp);
    for (int j = 0; j < oh; ++j)
        for (int i = 0; i < ow; ++i)
            for (int c = 0; c < bpp; ++c) {
                int sum = 0;
                for (int y = 0; y < mh; ++y)
                    for (int x = 0; x < mw; ++x)
                        sum += v.Pixel(r.left() + i + x, r.top() + j + y)[c];
                out[(size_t(j) * ow + i) * bpp + c] = uint8_t((sum + n / 2) / n);
            }
    for (int j = 0; j < oh; ++j)
        std::memcpy(v.Pixel(r.left() + ax, r.top() + ay + j), &out[size_t(j) * ow * bpp], size_t(ow) * bpp);
}

// Column sums fit 16 bits for masks up to 257 pixels, which halves the traffic of the hot loops.
VEX_HOT static void AddRow16(uint16_t* __restrict sum, const uint8_t* __restrict row, size_t n) {
    for (size_t i = 0; i < n; ++i)
        sum[i] = uint16_t(sum[i] + row[i]);
}

VEX_HOT static void SlideRow16(uint16_t* __restrict sum, const uint8_t* __restrict leaving,
                               const uint8_t* __restrict entering, size_t n) {
    for (size_t i = 0; i < n; ++i)
        sum[i] = uint16_t(sum[i] + entering[i] - leaving[i]);
}

VEX_HOT static void AddRow32(uint32_t* __restrict sum, const uint8_t* __restrict row, size_t n) {
    for (size_t i = 0; i < n; ++i)
        sum[i] += row[i];
}

VEX_HOT static void SlideRow32(uint32_t* __restrict sum, const uint8_t* __restrict leaving,
                               const uint8_t* __restrict entering, size_t n) {
    for (size_t i = 0; i < n; ++i)
        sum[i] += uint32_t(entering[i]) - uint32_t(leaving[i]);
}

// One output row from the column sums: a running sum across, divided with rounding. The float division
// is exact for masks up to 900 pixels: its error stays far below the 1/n gap to the next integer.
template <typename T> static void OutputRow(uint8_t* out, const T* col, int ow, int mw, int bpp, int n) {
    const float inverse = 1.0f / float(n), bias = float(n / 2) / float(n) + 1e-3f;
#if defined(__x86_64__)
    if (bpp == 4) {
        auto load = [](const T* p) {
            if constexpr (sizeof(T) == 2)
                return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                          _mm_setzero_si128());
            else
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        };
        const __m128 inv = _mm_set1_ps(inverse), add = _mm_set1_ps(bias);
        __m128i acc = _mm_setzero_si128();
        for (int k = 0; k < mw; ++k)
            acc = _mm_add_epi32(acc, load(col + 4 * k));
        for (int x = 0;; ++x) {
            __m128i q = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(acc), inv), add));
            q = _mm_packs_epi32(q, q);
            const int v = _mm_cvtsi128_si32(_mm_packus_epi16(q, q));
            std::memcpy(out + 4 * x, &v, 4);
            if (x + 1 >= ow) break;
            acc = _mm_add_epi32(acc, _mm_sub_epi32(load(col + 4 * (x + mw)), load(col + 4 * x)));
        }
        return;
    }
#endif
    for (int c = 0; c < bpp; ++c) {
        uint32_t acc = 0;
        for (int k = 0; k < mw; ++k)
            acc += col[k * bpp + c];
        for (int x = 0;; ++x) {
            out[x * bpp + c] = uint8_t(int(float(acc) * inverse + bias));
            if (x + 1 >= ow) break;
            acc += uint32_t(col[(x + mw) * bpp + c]) - uint32_t(col[x * bpp + c]);
        }
    }
}

#if defined(__x86_64__)
// u16 division by n as (x * m) >> (16 + k), exact for every rounded sum x <= 255 n + n / 2; 0 when no
// such pair exists. Found once per mask size.
static uint32_t DivideParams(int n) {
    // Atomic so that images on different threads may filter at once; 0 means not yet known, else
    // the answer + 1.
    static std::atomic<int64_t> cache[257];
    if (n <= 0 || n >= 257) return 0;
    if (const int64_t known = cache[n].load(std::memory_order_relaxed); known > 0) return uint32_t(known - 1);
    uint32_t found = 0;
    const uint32_t top = 255u * n + uint32_t(n / 2);
    for (int k = 0; k < 16 && !found; ++k) {
        const uint64_t m = ((uint64_t(1) << (16 + k)) + n - 1) / n;
        if (m >= 65536) break;
        bool exact = true;
        for (uint32_t x = 0; x <= top && exact; ++x)
            exact = ((x * m) >> (16 + k)) == x / uint32_t(n);
        if (exact) found = uint32_t(m) | uint32_t(k) << 16;
    }
    cache[n].store(int64_t(found) + 1, std::memory_order_relaxed);
    return found;
}

// 32-bit pixels, 16-bit sums: two output pixels per step, the running sum carried across the pair
// and the division done as a 16-bit multiply.
static void OutputRow16x4(uint8_t* out, const uint16_t* col, int ow, int mw, int n, uint32_t params) {
    const __m128i m = _mm_set1_epi16(short(params & 0xFFFF)), half = _mm_set1_epi16(short(n / 2));
    const __m128i shift = _mm_cvtsi32_si128(int(params >> 16));
    auto load64 = [](const uint16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); };
    auto divide = [&](__m128i sums) {
        const __m128i q = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(sums, half), m), shift);
        return _mm_packus_epi16(q, q);
    };
    __m128i acc = _mm_setzero_si128(); // low half: the sums of pixel x
    for (int k = 0; k < mw; ++k)
        acc = _mm_add_epi16(acc, load64(col + 4 * k));
    int x = 0;
    for (; x + 2 < ow; x += 2) {
        // d = [d(x), d(x + 1)], d(i) = col[i + mw] - col[i]
        const __m128i d = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(col + 4 * (x + mw))),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + 4 * x)));
        const __m128i pair = _mm_add_epi16(_mm_unpacklo_epi64(acc, acc), _mm_slli_si128(d, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), divide(pair));
        acc = _mm_add_epi16(_mm_srli_si128(pair, 8), _mm_srli_si128(d, 8));
    }
    for (; x < ow; ++x) {
        const int v = _mm_cvtsi128_si32(divide(acc));
        std::memcpy(out + 4 * x, &v, 4);
        if (x + 1 < ow)
            acc = _mm_add_epi16(acc, _mm_sub_epi16(load64(col + 4 * (x + mw)), load64(col + 4 * x)));
    }
}
#endif

template <typename T>
static void BoxFilterSums(const View& v, const QRect& r, int mw, int mh, int ax, int ay) {
    const int ow = r.width() - mw + 1, oh = r.height() - mh + 1, bpp = v.bpp;
    const size_t rowBytes = size_t(r.width()) * bpp;
    // The output overwrites rows that later windows still need, so the window's original rows are
    // kept in a ring.
    std::vector<uint8_t> ring(rowBytes * mh);
    std::vector<T> col(rowBytes, 0);
    std::vector<uint8_t> out(size_t(ow) * bpp);
    for (int k = 0; k < mh; ++k) {
        const uint8_t* row = v.Pixel(r.left(), r.top() + k);
        std::memcpy(&ring[k * rowBytes], row, rowBytes);
        if constexpr (sizeof(T) == 2)
            AddRow16(col.data(), row, rowBytes);
        else
            AddRow32(col.data(), row, rowBytes);
    }
    uint32_t params = 0;
#if defined(__x86_64__)
    if (sizeof(T) == 2 && bpp == 4) params = DivideParams(mw * mh);
#endif
    for (int j = 0; j < oh; ++j) {
#if defined(__x86_64__)
        if constexpr (sizeof(T) == 2) {
            if (params)
                OutputRow16x4(out.data(), col.data(), ow, mw, mw * mh, params);
            else
                OutputRow(out.data(), col.data(), ow, mw, bpp, mw * mh);
        } else
#endif
            OutputRow(out.data(), col.data(), ow, mw, bpp, mw * mh);
        std::memcpy(v.Pixel(r.left() + ax, r.top() + ay + j), out.data(), out.size());
        if (j + 1 < oh) {
            uint8_t* slot = &ring[size_t(j % mh) * rowBytes];
            const uint8_t* entering = v.Pixel(r.left(), r.top() + j + mh);
            if constexpr (sizeof(T) == 2)
                SlideRow16(col.data(), slot, entering, rowBytes);
            else
                SlideRow32(col.data(), slot, entering, rowBytes);
            std::memcpy(slot, entering, rowBytes);
        }
    }
}

void BoxFilter(const View& v, const QRect& r, int mw, int mh, int ax, int ay) {
    const int ow = r.width() - mw + 1, oh = r.height() - mh + 1;
    if (ow <= 0 || oh <= 0 || mw <= 0 || mh <= 0) return;
    const int n = mw * mh;
    if (n <= 257)
        BoxFilterSums<uint16_t>(v, r, mw, mh, ax, ay);
    else if (n <= 900)
        BoxFilterSums<uint32_t>(v, r, mw, mh, ax, ay);
    else
        BoxFilterRef(v, r, mw, mh, ax, ay);
}

// ---- alpha ----------------------------------------------------------------------------------------

void PremultiplyRef(const View& v, const QRect& r) {
    for (int j = 0; j < r.height(); ++j) {
        uint8_t* p = v.Pixel(r.left(), r.top() + j);
        for (int i = 0; i < r.width(); ++i)
            for (int c = 0; c < 3; ++c)
                p[4 * i + c] = uint8_t((p[4 * i + c] * p[4 * i + 3] * 2 + 255) / 510);
    }
}

VEX_HOT static void PremultiplyRow(uint32_t* p, int n) {
    for (int i = 0; i < n; ++i) {
        const uint32_t v = p[i], a = v >> 24;
        const uint32_t b = Div255((v & 0xFF) * a), g = Div255(((v >> 8) & 0xFF) * a),
                       r = Div255(((v >> 16) & 0xFF) * a);
        p[i] = (v & 0xFF000000u) | (r << 16) | (g << 8) | b;
    }
}

void Premultiply(const View& v, const QRect& r) {
    for (int j = 0; j < r.height(); ++j)
        PremultiplyRow(reinterpret_cast<uint32_t*>(v.Pixel(r.left(), r.top() + j)), r.width());
}

static inline void BlendPixel(const uint8_t* s, int sbpp, uint8_t* d, int dbpp, int ca, bool srcAlpha) {
    const uint32_t sa = sbpp == 4 ? s[3] : 255;
    if (srcAlpha && sbpp == 4) {
        const uint32_t a = Div255(sa * ca);
        for (int c = 0; c < dbpp; ++c) {
            const uint32_t sv = c < 3 ? s[c] : sa;
            d[c] = uint8_t(std::min<uint32_t>(255, Div255(sv * ca) + Div255(d[c] * (255 - a))));
        }
    } else {
        for (int c = 0; c < dbpp; ++c) {
            const uint32_t sv = c < 3 ? s[c] : sa;
            d[c] = uint8_t(std::min<uint32_t>(255, Div255(sv * ca) + Div255(d[c] * (255 - ca))));
        }
    }
}

void AlphaBlendRef(const ConstView& src, const QRect& r, const View& dst, int x, int y, int ca,
                   bool srcAlpha) {
    for (int j = 0; j < r.height(); ++j)
        for (int i = 0; i < r.width(); ++i)
            BlendPixel(src.Pixel(r.left() + i, r.top() + j), src.bpp, dst.Pixel(x + i, y + j), dst.bpp, ca,
                       srcAlpha);
}

VEX_HOT static void BlendRow32Opaque(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
    // Constant alpha 255: d = s + d * (255 - sa) / 255 per channel, the layered-window and cell case.
    for (int i = 0; i < n; ++i) {
        const uint32_t sv = s[i], dv = d[i], k = 255 - (sv >> 24);
        uint32_t out = 0;
        for (int c = 0; c < 32; c += 8) {
            const uint32_t v = ((sv >> c) & 0xFF) + Div255(((dv >> c) & 0xFF) * k);
            out |= std::min<uint32_t>(v, 255) << c;
        }
        d[i] = out;
    }
}

#if defined(__x86_64__)
// The same four pixels at a time: each pixel's 255 - alpha spread over its four 16-bit lanes.
__attribute__((target("ssse3"))) static void BlendRow32Opaque_SSSE3(const uint32_t* s, uint32_t* d, int n) {
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128), full = _mm_set1_epi16(255);
    const __m128i alphaLo = _mm_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
    const __m128i alphaHi = _mm_setr_epi8(11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i kLo = _mm_sub_epi16(full, _mm_shuffle_epi8(sv, alphaLo));
        const __m128i kHi = _mm_sub_epi16(full, _mm_shuffle_epi8(sv, alphaHi));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), kLo), half);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), kHi), half);
        lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_adds_epu8(_mm_packus_epi16(lo, hi), sv));
    }
    if (i < n) BlendRow32Opaque(s + i, d + i, n - i);
}
#endif

void AlphaBlend(const ConstView& src, const QRect& r, const View& dst, int x, int y, int ca, bool srcAlpha) {
    if (r.isEmpty() || ca <= 0) return;
    if (src.bpp == 4 && dst.bpp == 4 && srcAlpha && ca >= 255) {
#if defined(__x86_64__)
        static const bool ssse3 = __builtin_cpu_supports("ssse3");
        if (ssse3) {
            for (int j = 0; j < r.height(); ++j)
                BlendRow32Opaque_SSSE3(reinterpret_cast<const uint32_t*>(src.Pixel(r.left(), r.top() + j)),
                                       reinterpret_cast<uint32_t*>(dst.Pixel(x, y + j)), r.width());
            return;
        }
#endif
        for (int j = 0; j < r.height(); ++j)
            BlendRow32Opaque(reinterpret_cast<const uint32_t*>(src.Pixel(r.left(), r.top() + j)),
                             reinterpret_cast<uint32_t*>(dst.Pixel(x, y + j)), r.width());
        return;
    }
    AlphaBlendRef(src, r, dst, x, y, std::min(ca, 255), srcAlpha);
}

// ---- resampling -----------------------------------------------------------------------------------

double CubicKernel(double t) {
    t = std::fabs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}

double LanczosKernel(double t) {
    t = std::fabs(t);
    if (t < 1e-12) return 1;
    if (t >= 3) return 0;
    const double p = M_PI * t;
    return 3 * std::sin(p) * std::sin(p / 3) / (p * p);
}

namespace {

// Per destination position along one axis: `taps` source indices (already clamped) and weights.
struct AxisMap {
    int taps = 1;
    std::vector<int> idx;
    std::vector<float> w;
};

int ModeTaps(TInterpolation mode, double f) {
    switch (mode) {
    case Linear:
        return 2;
    case Cubic:
        return 4;
    case Lanczos:
        return 6;
    case SuperSampling:
        return f < 1 ? int(std::ceil(1 / f)) + 1 : 2;
    default:
        return 1;
    }
}

// Weights of one destination position d along an axis, in double precision (also the test model).
void AxisWeights(TInterpolation mode, double f, double shift, int lo, int hi, int d, int taps, int* idx,
                 double* w) {
    const double centre = (d + 0.5 - shift) / f; // source coordinate, pixel k spans [k, k+1)
    const double pos = centre - 0.5;
    auto clampIdx = [&](long k) { return int(std::clamp<long>(k, lo, hi - 1)); };
    if (mode == SuperSampling && f < 1) {
        const double a = (d - shift) / f, b = (d + 1 - shift) / f;
        const long k0 = long(std::floor(a));
        double total = 0;
        for (int t = 0; t < taps; ++t) {
            const double k = double(k0 + t);
            const double o = std::max(0.0, std::min(b, k + 1) - std::max(a, k));
            idx[t] = clampIdx(k0 + t);
            w[t] = o;
            total += o;
        }
        for (int t = 0; t < taps; ++t)
            w[t] /= total;
        return;
    }
    if (mode == SuperSampling) mode = Linear;
    switch (mode) {
    case Linear: {
        const long k0 = long(std::floor(pos));
        const double t = pos - double(k0);
        idx[0] = clampIdx(k0);
        idx[1] = clampIdx(k0 + 1);
        w[0] = 1 - t;
        w[1] = t;
        return;
    }
    case Cubic:
    case Lanczos: {
        const int back = mode == Cubic ? 1 : 2;
        const long k0 = long(std::floor(pos)) - back;
        double total = 0;
        for (int t = 0; t < taps; ++t) {
            const double k = double(k0 + t);
            idx[t] = clampIdx(k0 + t);
            w[t] = mode == Cubic ? CubicKernel(pos - k) : LanczosKernel(pos - k);
            total += w[t];
        }
        for (int t = 0; t < taps; ++t)
            w[t] /= total;
        return;
    }
    default:
        idx[0] = clampIdx(long(std::floor(centre)));
        w[0] = 1;
        return;
    }
}

AxisMap BuildAxis(TInterpolation mode, double f, double shift, int lo, int hi, int d0, int count) {
    AxisMap m;
    m.taps = ModeTaps(mode, f);
    m.idx.resize(size_t(count) * m.taps);
    m.w.resize(size_t(count) * m.taps);
    std::vector<double> w(m.taps);
    for (int i = 0; i < count; ++i) {
        AxisWeights(mode, f, shift, lo, hi, d0 + i, m.taps, &m.idx[size_t(i) * m.taps], w.data());
        for (int t = 0; t < m.taps; ++t)
            m.w[size_t(i) * m.taps + t] = float(w[t]);
    }
    return m;
}

VEX_HOT void AccumulateBytes(float* __restrict acc, const uint8_t* __restrict row, size_t n, float w) {
    for (size_t i = 0; i < n; ++i)
        acc[i] += w * float(row[i]);
}

VEX_HOT void AccumulateFloats(float* __restrict acc, const float* __restrict row, size_t n, float w) {
    for (size_t i = 0; i < n; ++i)
        acc[i] += w * row[i];
}

void StoreBytes(uint8_t* out, const float* acc, size_t n) {
    size_t i = 0;
#if defined(__x86_64__)
    const __m128 lo = _mm_set1_ps(0.5f), hi = _mm_set1_ps(255.5f);
    auto convert = [&](const float* p) {
        return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_loadu_ps(p), lo), lo), hi));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_packs_epi32(convert(acc + i), convert(acc + i + 4));
        const __m128i b = _mm_packs_epi32(convert(acc + i + 8), convert(acc + i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i < n; ++i)
        out[i] = uint8_t(int(std::min(std::max(acc[i], 0.0f), 255.0f) + 0.5f));
}

// out[x] = sum_t w[x,t] * in[idx[x,t]] for `count` positions of bpp channels.
template <typename T>
void Horizontal(float* out, const T* in, int inOffset, const AxisMap& m, int count, int bpp) {
    const int taps = m.taps;
#if defined(__x86_64__)
    if (bpp == 4) {
        // One pixel of four channels per vector.
        auto load = [](const T* p) {
            if constexpr (sizeof(T) == 1) {
                int v;
                std::memcpy(&v, p, 4);
                const __m128i z = _mm_setzero_si128();
                return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v), z), z));
            } else {
                return _mm_loadu_ps(p);
            }
        };
        const float* w = m.w.data();
        const int* idx = m.idx.data();
        for (int x = 0; x < count; ++x, w += taps, idx += taps) {
            __m128 a = _mm_setzero_ps();
            for (int t = 0; t < taps; ++t)
                a = _mm_add_ps(a, _mm_mul_ps(_mm_set1_ps(w[t]), load(in + size_t(idx[t] - inOffset) * 4)));
            _mm_storeu_ps(out + size_t(x) * 4, a);
        }
        return;
    }
#endif
    for (int x = 0; x < count; ++x) {
        float a[4] = {0, 0, 0, 0};
        for (int t = 0; t < taps; ++t) {
            const float w = m.w[size_t(x) * taps + t];
            const T* p = in + size_t(m.idx[size_t(x) * taps + t] - inOffset) * bpp;
            for (int c = 0; c < 4; ++c)
                a[c] += w * float(p[c < bpp ? c : 0]);
        }
        for (int c = 0; c < bpp; ++c)
            out[size_t(x) * bpp + c] = a[c];
    }
}

void NearestResize(const ConstView& src, const View& dst, const QRect& area, const AxisMap& mx,
                   const AxisMap& my) {
    const int bpp = src.bpp, w = area.width();
    int lastSrcRow = -1;
    uint8_t* lastRow = nullptr;
    for (int j = 0; j < area.height(); ++j) {
        const int sy = my.idx[j];
        uint8_t* d = dst.Pixel(area.left(), area.top() + j);
        if (sy == lastSrcRow) {
            // Zooming repeats whole rows: copy the previous destination row instead of looking up.
            std::memcpy(d, lastRow, size_t(w) * bpp);
            continue;
        }
        const uint8_t* s = src.Row(sy);
        if (bpp == 4) {
            const uint32_t* s32 = reinterpret_cast<const uint32_t*>(s);
            uint32_t* d32 = reinterpret_cast<uint32_t*>(d);
            for (int i = 0; i < w; ++i)
                d32[i] = s32[mx.idx[i]];
        } else {
            for (int i = 0; i < w; ++i)
                std::memcpy(d + 3 * i, s + 3 * ptrdiff_t(mx.idx[i]), 3);
        }
        lastSrcRow = sy;
        lastRow = d;
    }
}

} // namespace

QRect ResizeDestArea(const QRect& srcRect, const QRect& dstClip, double xFactor, double yFactor,
                     double xShift, double yShift) {
    if (srcRect.isEmpty() || !(xFactor > 0) || !(yFactor > 0)) return {};
    // Destination pixel x is written when its centre maps into [left, right + 1) of the source.
    auto range = [](double lo, double hi, double f, double s, int& a, int& b) {
        const double da = std::ceil(lo * f + s - 0.5), db = std::ceil(hi * f + s - 0.5);
        a = int(std::clamp(da, -1e9, 1e9));
        b = int(std::clamp(db, -1e9, 1e9));
    };
    int x0, x1, y0, y1;
    range(srcRect.left(), srcRect.left() + srcRect.width(), xFactor, xShift, x0, x1);
    range(srcRect.top(), srcRect.top() + srcRect.height(), yFactor, yShift, y0, y1);
    if (x1 <= x0 || y1 <= y0) return {};
    return QRect(x0, y0, x1 - x0, y1 - y0).intersected(dstClip);
}

bool ResizeSqr(const ConstView& src, const QRect& srcRect0, const View& dst, const QRect& dstClip0,
               double xFactor, double yFactor, double xShift, double yShift, TInterpolation mode) {
    if (src.bpp != dst.bpp) return false;
    if (!InterpolationFromInt(int(mode))) return false;
    const QRect srcRect = srcRect0.intersected(QRect(0, 0, src.width, src.height));
    const QRect dstClip = dstClip0.intersected(QRect(0, 0, dst.width, dst.height));
    const QRect area = ResizeDestArea(srcRect, dstClip, xFactor, yFactor, xShift, yShift);
    if (area.isEmpty()) return true;
    const int bpp = src.bpp;
    const AxisMap mx = BuildAxis(mode, xFactor, xShift, srcRect.left(), srcRect.left() + srcRect.width(),
                                 area.left(), area.width());
    const AxisMap my = BuildAxis(mode, yFactor, yShift, srcRect.top(), srcRect.top() + srcRect.height(),
                                 area.top(), area.height());
    const bool sameImage = src.bits == dst.bits;
    if (mode == Nearest && !sameImage) {
        NearestResize(src, dst, area, mx, my);
        return true;
    }
    // In place the source would change under our feet: work from a copy of the source rectangle.
    ConstView s = src;
    std::vector<uint8_t> copy;
    if (sameImage) {
        copy.resize(size_t(src.height) * src.stride);
        std::memcpy(copy.data(), src.bits, copy.size());
        s.bits = copy.data();
        if (mode == Nearest) {
            NearestResize(s, dst, area, mx, my);
            return true;
        }
    }
    const int ow = area.width(), oh = area.height();
    const int xlo = *std::min_element(mx.idx.begin(), mx.idx.end());
    const int xhi = *std::max_element(mx.idx.begin(), mx.idx.end());
    const int ylo = *std::min_element(my.idx.begin(), my.idx.end());
    const int yhi = *std::max_element(my.idx.begin(), my.idx.end());
    const size_t spanBytes = size_t(xhi - xlo + 1) * bpp, outFloats = size_t(ow) * bpp;
    std::vector<float> acc(std::max(spanBytes, outFloats)), line(outFloats);
    // Vertical passes run on whole vectorised rows; horizontal ones gather, about four times dearer.
    const double costVertical = double(oh) * my.taps * spanBytes + 4.0 * oh * ow * bpp * mx.taps;
    const double costHorizontal =
        4.0 * (yhi - ylo + 1) * outFloats * mx.taps + double(oh) * outFloats * my.taps;
    if (costVertical <= costHorizontal) {
        for (int j = 0; j < oh; ++j) {
            std::fill(acc.begin(), acc.begin() + spanBytes, 0.0f);
            for (int t = 0; t < my.taps; ++t) {
                const float w = my.w[size_t(j) * my.taps + t];
                if (w != 0)
                    AccumulateBytes(acc.data(), s.Pixel(xlo, my.idx[size_t(j) * my.taps + t]), spanBytes, w);
            }
            Horizontal(line.data(), acc.data(), xlo, mx, ow, bpp);
            StoreBytes(dst.Pixel(area.left(), area.top() + j), line.data(), outFloats);
        }
        return true;
    }
    // Enlarging: resample each source row across once and keep the last few.
    const int cacheRows = my.taps + 1;
    std::vector<float> cache(size_t(cacheRows) * outFloats);
    std::vector<int> tag(cacheRows, -1);
    for (int j = 0; j < oh; ++j) {
        std::fill(acc.begin(), acc.begin() + outFloats, 0.0f);
        for (int t = 0; t < my.taps; ++t) {
            const float w = my.w[size_t(j) * my.taps + t];
            if (w == 0) continue;
            const int sy = my.idx[size_t(j) * my.taps + t];
            const int slot = sy % cacheRows;
            float* row = &cache[size_t(slot) * outFloats];
            if (tag[slot] != sy) {
                Horizontal(row, s.Row(sy), 0, mx, ow, bpp);
                tag[slot] = sy;
            }
            AccumulateFloats(acc.data(), row, outFloats, w);
        }
        StoreBytes(dst.Pixel(area.left(), area.top() + j), acc.data(), outFloats);
    }
    return true;
}

void ResizeSqrModel(const ConstView& src, const QRect& srcRect0, const View& dst, const QRect& dstClip0,
                    double xFactor, double yFactor, double xShift, double yShift, TInterpolation mode) {
    const QRect srcRect = srcRect0.intersected(QRect(0, 0, src.width, src.height));
    const QRect dstClip = dstClip0.intersected(QRect(0, 0, dst.width, dst.height));
    const QRect area = ResizeDestArea(srcRect, dstClip, xFactor, yFactor, xShift, yShift);
    if (area.isEmpty()) return;
    std::vector<uint8_t> copy(size_t(src.height) * src.stride);
    std::memcpy(copy.data(), src.bits, copy.size());
    ConstView s = src;
    s.bits = copy.data();
    const int tx = ModeTaps(mode, xFactor), ty = ModeTaps(mode, yFactor);
    std::vector<int> ix(tx), iy(ty);
    std::vector<double> wx(tx), wy(ty);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        AxisWeights(mode, yFactor, yShift, srcRect.top(), srcRect.top() + srcRect.height(), y, ty, iy.data(),
                    wy.data());
        for (int x = area.left(); x <= area.right(); ++x) {
            AxisWeights(mode, xFactor, xShift, srcRect.left(), srcRect.left() + srcRect.width(), x, tx,
                        ix.data(), wx.data());
            for (int c = 0; c < src.bpp; ++c) {
                double v = 0;
                for (int b = 0; b < ty; ++b)
                    for (int a = 0; a < tx; ++a)
                        v += wx[a] * wy[b] * s.Pixel(ix[a], iy[b])[c];
                dst.Pixel(x, y)[c] = uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
            }
        }
    }
}

// ---- perspective warp -----------------------------------------------------------------------------

namespace {

struct Homography {
    double m[9];
    QPointF Map(double x, double y) const {
        const double w = m[6] * x + m[7] * y + m[8];
        return {(m[0] * x + m[1] * y + m[2]) / w, (m[3] * x + m[4] * y + m[5]) / w};
    }
};

// The projective map of the unit square onto the quadrangle q (corners in order).
Homography SquareToQuad(const std::array<QPointF, 4>& q) {
    const double x0 = q[0].x(), y0 = q[0].y(), x1 = q[1].x(), y1 = q[1].y();
    const double x2 = q[2].x(), y2 = q[2].y(), x3 = q[3].x(), y3 = q[3].y();
    const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    Homography h{};
    if (std::fabs(sx) < 1e-12 && std::fabs(sy) < 1e-12) {
        h.m[0] = x1 - x0;
        h.m[1] = x2 - x1;
        h.m[2] = x0;
        h.m[3] = y1 - y0;
        h.m[4] = y2 - y1;
        h.m[5] = y0;
        h.m[6] = 0;
        h.m[7] = 0;
        h.m[8] = 1;
        return h;
    }
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double den = dx1 * dy2 - dx2 * dy1;
    const double g = (sx * dy2 - dx2 * sy) / den, hh = (dx1 * sy - sx * dy1) / den;
    h.m[0] = x1 - x0 + g * x1;
    h.m[1] = x3 - x0 + hh * x3;
    h.m[2] = x0;
    h.m[3] = y1 - y0 + g * y1;
    h.m[4] = y3 - y0 + hh * y3;
    h.m[5] = y0;
    h.m[6] = g;
    h.m[7] = hh;
    h.m[8] = 1;
    return h;
}

Homography Inverse(const Homography& a) {
    const double* m = a.m;
    Homography r{};
    r.m[0] = m[4] * m[8] - m[5] * m[7];
    r.m[1] = m[2] * m[7] - m[1] * m[8];
    r.m[2] = m[1] * m[5] - m[2] * m[4];
    r.m[3] = m[5] * m[6] - m[3] * m[8];
    r.m[4] = m[0] * m[8] - m[2] * m[6];
    r.m[5] = m[2] * m[3] - m[0] * m[5];
    r.m[6] = m[3] * m[7] - m[4] * m[6];
    r.m[7] = m[1] * m[6] - m[0] * m[7];
    r.m[8] = m[0] * m[4] - m[1] * m[3];
    return r;
}

Homography Multiply(const Homography& a, const Homography& b) {
    Homography r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[3 * i + j] = a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
    return r;
}

} // namespace

namespace {

// Everything a warp needs row by row, worked out once.
struct WarpPlan {
    ConstView s;                 // the source (a private copy when it is also the destination)
    QRect clip;                  // destination pixels that may be written
    Homography map;              // destination point -> source point
    std::array<QPointF, 4> quad; // the destination quadrangle
    double sign = 1;             // orientation, so "inside" is the same side of every edge
    int l = 0, t = 0, r = 0, b = 0;
};

// False when there is nothing sound to draw (degenerate quadrangle, absurd extent).
bool PlanWarp(const ConstView& src, const QRect& srcRect0, const std::array<QPointF, 4>& srcQuad,
              const View& dst, const QRect& dstClip0, const std::array<QPointF, 4>& dstQuad,
              std::vector<uint8_t>& copy, WarpPlan& plan, bool& nothing) {
    nothing = false;
    const QRect srcRect = srcRect0.intersected(QRect(0, 0, src.width, src.height));
    QRect clip = dstClip0.intersected(QRect(0, 0, dst.width, dst.height));
    if (srcRect.isEmpty() || clip.isEmpty()) {
        nothing = true;
        return true;
    }
    double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
    for (const QPointF& p : dstQuad) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    if (!(maxX - minX < 1e7 && maxY - minY < 1e7)) return false;
    plan.clip = clip.intersected(QRect(QPoint(int(std::floor(minX)), int(std::floor(minY))),
                                       QPoint(int(std::ceil(maxX)), int(std::ceil(maxY)))));
    const Homography toDst = SquareToQuad(dstQuad);
    const double det = toDst.m[0] * (toDst.m[4] * toDst.m[8] - toDst.m[5] * toDst.m[7]) -
                       toDst.m[1] * (toDst.m[3] * toDst.m[8] - toDst.m[5] * toDst.m[6]) +
                       toDst.m[2] * (toDst.m[3] * toDst.m[7] - toDst.m[4] * toDst.m[6]);
    if (!(std::fabs(det) > 1e-12)) return false;
    plan.map = Multiply(SquareToQuad(srcQuad), Inverse(toDst));
    plan.l = srcRect.left();
    plan.t = srcRect.top();
    plan.r = srcRect.right();
    plan.b = srcRect.bottom();
    plan.s = src;
    if (src.bits == dst.bits) {
        copy.assign(src.bits, src.bits + size_t(src.height) * src.stride);
        plan.s.bits = copy.data();
    }
    plan.quad = dstQuad;
    double area = 0;
    for (int i = 0; i < 4; ++i)
        area += dstQuad[i].x() * dstQuad[(i + 1) % 4].y() - dstQuad[(i + 1) % 4].x() * dstQuad[i].y();
    plan.sign = area < 0 ? -1 : 1;
    return true;
}

// The run x0..x1 of pixel centres inside the quadrangle on row y (empty when x0 > x1).
void RowSpan(const WarpPlan& p, int y, int& x0, int& x1) {
    const double yc = y + 0.5;
    double lo = -1e18, hi = 1e18;
    for (int i = 0; i < 4; ++i) {
        const QPointF& a = p.quad[i];
        const QPointF& c = p.quad[(i + 1) % 4];
        const double A = -(c.y() - a.y()) * p.sign;
        const double B = ((c.x() - a.x()) * (yc - a.y()) + (c.y() - a.y()) * a.x()) * p.sign;
        if (A > 0)
            lo = std::max(lo, -B / A);
        else if (A < 0)
            hi = std::min(hi, -B / A);
        else if (B < 0)
            hi = -1e18;
    }
    x0 = std::max(p.clip.left(), int(std::ceil(std::max(lo, -1e9) - 0.5)));
    x1 = std::min(p.clip.right(), int(std::floor(std::min(hi, 1e9) - 0.5)));
}

// Source positions far outside any image (near the quadrangle's vanishing line) draw nothing.
inline bool SaneSourcePoint(double sx, double sy) {
    return std::fabs(sx) < 1e8 && std::fabs(sy) < 1e8;
}

// The bilinear sample position of source point s, round((s - 0.5) * 256) in 1/256 pixels, is the floor
// of a biased double: a plain truncation that the compiler vectorises. s is first pulled into
// [l - 2, r + 2]: beyond that both neighbours are the same replicated edge pixel, so nothing changes,
// and the biased value stays positive.
constexpr double kLinearBias = 1073741824.0; // 2^30
inline double LinearBiased(double s, double lo, double hi) {
    s = std::min(std::max(s, lo), hi);
    return s * 256.0 + (kLinearBias - 127.5);
}
inline int64_t LinearFixed(const WarpPlan& p, double s, bool horizontal) {
    const double v =
        horizontal ? LinearBiased(s, p.l - 2.0, p.r + 2.0) : LinearBiased(s, p.t - 2.0, p.b + 2.0);
    return int64_t(v) - int64_t(kLinearBias);
}
// The 32-bit form of the same truncation serves sources that end before 2^21 pixels.
inline bool LinearFits32(const WarpPlan& p) {
    return p.r < (1 << 21) && p.b < (1 << 21);
}
// Whole pixel and weight of a LinearFixed position.
inline void LinearCell(int64_t a, int& i, uint32_t& frac) {
    i = int(a >> 8);
    frac = uint32_t(a & 255);
}

// The four neighbours of a sample, replicating the source rectangle's edge pixels.
inline void Neighbours(const WarpPlan& p, int ix, int iy, const uint8_t* n[4]) {
    if (ix >= p.l && ix < p.r && iy >= p.t && iy < p.b) {
        n[0] = p.s.Pixel(ix, iy);
        n[1] = n[0] + 4;
        n[2] = n[0] + p.s.stride;
        n[3] = n[2] + 4;
        return;
    }
    const int x0 = std::clamp(ix, p.l, p.r), x1 = std::clamp(ix + 1, p.l, p.r);
    const int y0 = std::clamp(iy, p.t, p.b), y1 = std::clamp(iy + 1, p.t, p.b);
    n[0] = p.s.Pixel(x0, y0);
    n[1] = p.s.Pixel(x1, y0);
    n[2] = p.s.Pixel(x0, y1);
    n[3] = p.s.Pixel(x1, y1);
}

// Source point of the pixel k steps right of the span's first pixel. Stepping from the first pixel
// by k (not by repeated addition) gives every implementation the same doubles.
struct RowMap {
    double un, vn, wn, du, dv, dw;
    RowMap(const Homography& m, int x0, double yc)
        : un(m.m[0] * (x0 + 0.5) + m.m[1] * yc + m.m[2]), vn(m.m[3] * (x0 + 0.5) + m.m[4] * yc + m.m[5]),
          wn(m.m[6] * (x0 + 0.5) + m.m[7] * yc + m.m[8]), du(m.m[0]), dv(m.m[3]), dw(m.m[6]) {}
    void At(int k, double& sx, double& sy) const {
        const double inv = 1.0 / (wn + k * dw);
        sx = (un + k * du) * inv;
        sy = (vn + k * dv) * inv;
    }
};

// One bilinear pixel in 8-bit fixed point: rows first, then ((top * (256 - ay) + bottom * ay) + 2^15) >> 16.
inline void BlendLinearRef(const uint8_t* const n[4], uint32_t ax, uint32_t ay, uint8_t* o) {
    for (int c = 0; c < 4; ++c) {
        const uint32_t top = n[0][c] * (256 - ax) + n[1][c] * ax;
        const uint32_t bot = n[2][c] * (256 - ax) + n[3][c] * ax;
        o[c] = uint8_t((top * (256 - ay) + bot * ay + 32768) >> 16);
    }
}

#if defined(__SSE2__)
inline __m128i Load4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(int(v));
}

// The two source pixels of a sample's upper row and of its lower row, each pair in the low 8 bytes.
inline void SampleRows(const WarpPlan& p, int32_t fx, int32_t fy, __m128i& top, __m128i& bot) {
    const int ix = fx >> 8, iy = fy >> 8;
    if (ix >= p.l && ix < p.r && iy >= p.t && iy < p.b) {
        const uint8_t* q = p.s.Pixel(ix, iy);
        top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q));
        bot = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q + p.s.stride));
        return;
    }
    const uint8_t* nb[4];
    Neighbours(p, ix, iy, nb);
    top = _mm_unpacklo_epi32(Load4(nb[0]), Load4(nb[1]));
    bot = _mm_unpacklo_epi32(Load4(nb[2]), Load4(nb[3]));
}

// BlendLinearRef for two pixels at once (a and b), the channels side by side; the result holds a's
// four bytes, then b's. `fx` and `fy` hold the two pixels' LinearFixed positions (a first). Row sums
// reach 65,280 and still fit unsigned 16-bit lanes; the column step needs 32 bits, built from the low
// and high halves of the products.
inline __m128i BlendLinearPairSse2(const __m128i top[2], const __m128i bot[2], const int32_t* fx,
                                   const int32_t* fy) {
    // The weights (a: ax, ay; b: ax, ay) and 256 minus each, every one spread over four lanes.
    const __m128i frac =
        _mm_and_si128(_mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(fx)),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fy))),
                      _mm_set1_epi32(255));
    const __m128i w = _mm_packs_epi32(frac, frac);
    const __m128i v = _mm_sub_epi16(_mm_set1_epi16(256), w);
    const __m128i wxa = _mm_unpacklo_epi64(_mm_shufflelo_epi16(v, 0x00), _mm_shufflelo_epi16(w, 0x00));
    const __m128i wxb = _mm_unpacklo_epi64(_mm_shufflelo_epi16(v, 0xAA), _mm_shufflelo_epi16(w, 0xAA));
    const __m128i wu = _mm_unpacklo_epi64(_mm_shufflelo_epi16(v, 0x55), _mm_shufflelo_epi16(v, 0xFF));
    const __m128i wl = _mm_unpacklo_epi64(_mm_shufflelo_epi16(w, 0x55), _mm_shufflelo_epi16(w, 0xFF));
    const __m128i zero = _mm_setzero_si128();
    // Per pixel: left neighbour times its weight in the low four lanes, right neighbour in the high four.
    const __m128i ta = _mm_mullo_epi16(_mm_unpacklo_epi8(top[0], zero), wxa);
    const __m128i tb = _mm_mullo_epi16(_mm_unpacklo_epi8(top[1], zero), wxb);
    const __m128i ba = _mm_mullo_epi16(_mm_unpacklo_epi8(bot[0], zero), wxa);
    const __m128i bb = _mm_mullo_epi16(_mm_unpacklo_epi8(bot[1], zero), wxb);
    const __m128i upper = _mm_add_epi16(_mm_unpacklo_epi64(ta, tb), _mm_unpackhi_epi64(ta, tb));
    const __m128i lower = _mm_add_epi16(_mm_unpacklo_epi64(ba, bb), _mm_unpackhi_epi64(ba, bb));
    const __m128i ul = _mm_mullo_epi16(upper, wu), uh = _mm_mulhi_epu16(upper, wu);
    const __m128i ll = _mm_mullo_epi16(lower, wl), lh = _mm_mulhi_epu16(lower, wl);
    const __m128i half = _mm_set1_epi32(32768);
    __m128i a = _mm_add_epi32(_mm_add_epi32(_mm_unpacklo_epi16(ul, uh), _mm_unpacklo_epi16(ll, lh)), half);
    __m128i b = _mm_add_epi32(_mm_add_epi32(_mm_unpackhi_epi16(ul, uh), _mm_unpackhi_epi16(ll, lh)), half);
    a = _mm_srli_epi32(a, 16);
    b = _mm_srli_epi32(b, 16);
    const __m128i words = _mm_packs_epi32(a, b);
    return _mm_packus_epi16(words, words);
}
#endif

// One row of the linear warp: the sample positions of a block of pixels first (a plain loop the
// compiler vectorises, divisions included), then the samples.
VEX_HOT void WarpLinearRow(const WarpPlan& p, const RowMap& m, int x0, int x1, uint8_t* row) {
    constexpr int kBlock = 64;
    alignas(64) int32_t fx[kBlock], fy[kBlock];
    alignas(64) uint8_t ok[kBlock];
    const double xlo = p.l - 2.0, xhi = p.r + 2.0, ylo = p.t - 2.0, yhi = p.b + 2.0;
    for (int start = x0; start <= x1; start += kBlock) {
        const int n = std::min(kBlock, x1 - start + 1);
        const int k0 = start - x0;
        int k = 0;
#if defined(__SSE2__)
        // Two pixels a step with the very operations of the plain loop below, so both give the same bits.
        {
            const __m128d wn = _mm_set1_pd(m.wn), un = _mm_set1_pd(m.un), vn = _mm_set1_pd(m.vn);
            const __m128d dw = _mm_set1_pd(m.dw), du = _mm_set1_pd(m.du), dv = _mm_set1_pd(m.dv);
            const __m128d one = _mm_set1_pd(1.0), far = _mm_set1_pd(1e8), scale = _mm_set1_pd(256.0);
            const __m128d bias = _mm_set1_pd(kLinearBias - 127.5);
            const __m128d xl = _mm_set1_pd(xlo), xh = _mm_set1_pd(xhi), yl = _mm_set1_pd(ylo),
                          yh = _mm_set1_pd(yhi);
            const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
            const __m128i ibias = _mm_set1_epi32(int32_t(kLinearBias));
            for (; k + 2 <= n; k += 2) {
                const __m128d kd = _mm_set_pd(double(k0 + k + 1), double(k0 + k));
                const __m128d inv = _mm_div_pd(one, _mm_add_pd(wn, _mm_mul_pd(kd, dw)));
                __m128d sx = _mm_mul_pd(_mm_add_pd(un, _mm_mul_pd(kd, du)), inv);
                __m128d sy = _mm_mul_pd(_mm_add_pd(vn, _mm_mul_pd(kd, dv)), inv);
                // Ordered compares: NaN counts as far away.
                const __m128d good = _mm_and_pd(_mm_cmplt_pd(_mm_and_pd(sx, absMask), far),
                                                _mm_cmplt_pd(_mm_and_pd(sy, absMask), far));
                sx = _mm_or_pd(_mm_and_pd(good, sx), _mm_andnot_pd(good, xl));
                sy = _mm_or_pd(_mm_and_pd(good, sy), _mm_andnot_pd(good, yl));
                sx = _mm_add_pd(_mm_mul_pd(_mm_min_pd(_mm_max_pd(sx, xl), xh), scale), bias);
                sy = _mm_add_pd(_mm_mul_pd(_mm_min_pd(_mm_max_pd(sy, yl), yh), scale), bias);
                const __m128i ix = _mm_sub_epi32(_mm_cvttpd_epi32(sx), ibias);
                const __m128i iy = _mm_sub_epi32(_mm_cvttpd_epi32(sy), ibias);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(fx + k), ix);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(fy + k), iy);
                const int mask = _mm_movemask_pd(good);
                ok[k] = uint8_t(mask & 1);
                ok[k + 1] = uint8_t(mask >> 1);
            }
        }
#endif
        for (; k < n; ++k) {
            const double inv = 1.0 / (m.wn + (k0 + k) * m.dw);
            const double sx = (m.un + (k0 + k) * m.du) * inv, sy = (m.vn + (k0 + k) * m.dv) * inv;
            // A point that draws nothing still converts, from a harmless value.
            const bool good = SaneSourcePoint(sx, sy);
            ok[k] = good;
            fx[k] = int32_t(LinearBiased(good ? sx : xlo, xlo, xhi)) - int32_t(kLinearBias);
            fy[k] = int32_t(LinearBiased(good ? sy : ylo, ylo, yhi)) - int32_t(kLinearBias);
        }
        uint8_t* o = row + 4 * ptrdiff_t(start);
#if defined(__SSE2__)
        int j = 0;
        for (; j + 2 <= n; j += 2, o += 8) {
            __m128i top[2], bot[2];
            SampleRows(p, fx[j], fy[j], top[0], bot[0]);
            SampleRows(p, fx[j + 1], fy[j + 1], top[1], bot[1]);
            const __m128i two = BlendLinearPairSse2(top, bot, fx + j, fy + j);
            if (ok[j] & ok[j + 1]) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(o), two);
                continue;
            }
            alignas(16) uint32_t v[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(v), two);
            if (ok[j]) std::memcpy(o, &v[0], 4);
            if (ok[j + 1]) std::memcpy(o + 4, &v[1], 4);
        }
        if (j < n && ok[j]) {
            __m128i top[2], bot[2];
            SampleRows(p, fx[j], fy[j], top[0], bot[0]);
            top[1] = top[0];
            bot[1] = bot[0];
            const int32_t px[2] = {fx[j], fx[j]}, py[2] = {fy[j], fy[j]};
            const uint32_t v = uint32_t(_mm_cvtsi128_si32(BlendLinearPairSse2(top, bot, px, py)));
            std::memcpy(o, &v, 4);
        }
#else
        for (int k = 0; k < n; ++k, o += 4) {
            if (!ok[k]) continue;
            int ix, iy;
            uint32_t ax, ay;
            LinearCell(fx[k], ix, ax);
            LinearCell(fy[k], iy, ay);
            const uint8_t* nb[4];
            Neighbours(p, ix, iy, nb);
            BlendLinearRef(nb, ax, ay, o);
        }
#endif
    }
}

void WarpPixelRef(const WarpPlan& p, double sx, double sy, TInterpolation mode, uint8_t* o) {
    auto px = [&](int x, int y) { return p.s.Pixel(std::clamp(x, p.l, p.r), std::clamp(y, p.t, p.b)); };
    if (mode == Nearest) {
        std::memcpy(o, px(int(std::floor(sx)), int(std::floor(sy))), 4);
        return;
    }
    if (mode == Cubic) {
        const double fx = sx - 0.5, fy = sy - 0.5;
        const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
        double wx[4], wy[4];
        for (int k = 0; k < 4; ++k) {
            wx[k] = CubicKernel(fx - (ix - 1 + k));
            wy[k] = CubicKernel(fy - (iy - 1 + k));
        }
        for (int c = 0; c < 4; ++c) {
            double v = 0;
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i)
                    v += wx[i] * wy[j] * px(ix - 1 + i, iy - 1 + j)[c];
            o[c] = uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
        }
        return;
    }
    int ix, iy;
    uint32_t ax, ay;
    LinearCell(LinearFixed(p, sx, true), ix, ax);
    LinearCell(LinearFixed(p, sy, false), iy, ay);
    const uint8_t* nb[4];
    Neighbours(p, ix, iy, nb);
    BlendLinearRef(nb, ax, ay, o);
}

bool Warp(const ConstView& src, const QRect& srcRect, const std::array<QPointF, 4>& srcQuad, const View& dst,
          const QRect& dstClip, const std::array<QPointF, 4>& dstQuad, TInterpolation mode, bool fast) {
    if (src.bpp != 4 || dst.bpp != 4) return false;
    WarpPlan plan;
    std::vector<uint8_t> copy;
    bool nothing = false;
    if (!PlanWarp(src, srcRect, srcQuad, dst, dstClip, dstQuad, copy, plan, nothing)) return false;
    if (nothing) return true;
    for (int y = plan.clip.top(); y <= plan.clip.bottom(); ++y) {
        int x0, x1;
        RowSpan(plan, y, x0, x1);
        if (x0 > x1) continue;
        const RowMap m(plan.map, x0, y + 0.5);
        uint8_t* row = dst.Row(y);
        if (fast && mode != Nearest && mode != Cubic && LinearFits32(plan)) {
            WarpLinearRow(plan, m, x0, x1, row);
            continue;
        }
        for (int x = x0; x <= x1; ++x) {
            double sx, sy;
            m.At(x - x0, sx, sy);
            if (SaneSourcePoint(sx, sy)) WarpPixelRef(plan, sx, sy, mode, row + 4 * ptrdiff_t(x));
        }
    }
    return true;
}

} // namespace

bool WarpQuad(const ConstView& src, const QRect& srcRect, const std::array<QPointF, 4>& srcQuad,
              const View& dst, const QRect& dstClip, const std::array<QPointF, 4>& dstQuad,
              TInterpolation mode) {
    return Warp(src, srcRect, srcQuad, dst, dstClip, dstQuad, mode, true);
}

bool WarpQuadRef(const ConstView& src, const QRect& srcRect, const std::array<QPointF, 4>& srcQuad,
                 const View& dst, const QRect& dstClip, const std::array<QPointF, 4>& dstQuad,
                 TInterpolation mode) {
    return Warp(src, srcRect, srcQuad, dst, dstClip, dstQuad, mode, false);
}

// --- alpha bands ------------------------------------------------------------------------------

namespace {

// Row y's runs were just appended from `rowStart` on. When the band above (its first rectangle at
// `band`) has the same runs, they widen it by a row instead; otherwise they start a band of their
// own. A row without runs ends the band above.
inline void CloseBandRow(std::vector<QRect>& out, size_t& band, size_t rowStart) {
    const size_t n = out.size() - rowStart;
    if (n > 0 && rowStart - band == n) {
        bool same = true;
        for (size_t i = 0; i < n && same; ++i)
            same = out[band + i].left() == out[rowStart + i].left() &&
                   out[band + i].right() == out[rowStart + i].right();
        if (same) {
            for (size_t i = 0; i < n; ++i)
                out[band + i].setBottom(out[band + i].bottom() + 1);
            out.resize(rowStart);
            return;
        }
    }
    band = rowStart;
}

inline uint32_t PixelAt(const uint8_t* row, int x) {
    uint32_t p;
    std::memcpy(&p, row + 4 * ptrdiff_t(x), 4);
    return p;
}

// Bit i set: pixel i of the n (at most 64) from `row` has alpha >= minAlpha.
inline uint64_t OpaqueMask(const uint8_t* row, int n, int minAlpha) {
    uint64_t m = 0;
    int i = 0;
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi32(minAlpha - 1);
    for (; i + 4 <= n; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * ptrdiff_t(i)));
        const __m128i above = _mm_cmpgt_epi32(_mm_srli_epi32(px, 24), limit);
        m |= uint64_t(unsigned(_mm_movemask_ps(_mm_castsi128_ps(above)))) << i;
    }
#endif
    for (; i < n; ++i)
        if (int(PixelAt(row, i) >> 24) >= minAlpha) m |= uint64_t(1) << i;
    return m;
}

} // namespace

void AlphaBands(const ConstView& v, const QRect& r, int minAlpha, std::vector<QRect>& out) {
    out.clear();
    size_t band = 0;
    const int w = r.width();
    for (int y = 0; y < r.height(); ++y) {
        const uint8_t* row = v.Pixel(r.left(), r.top() + y);
        const size_t rowStart = out.size();
        int runStart = -1;
        // 64 pixels at a time: a mask of which pass, then its runs by counting bits.
        for (int x = 0; x < w; x += 64) {
            const int n = std::min(64, w - x);
            const uint64_t m = OpaqueMask(row + 4 * ptrdiff_t(x), n, minAlpha);
            int i = 0;
            while (i < n) {
                if (runStart < 0) {
                    const uint64_t rest = m >> i;
                    if (!rest) break;
                    i += std::countr_zero(rest);
                    runStart = x + i;
                } else {
                    // Bits past n are clear in m, so a run reaching the end stops there.
                    const uint64_t rest = ~m >> i;
                    if (!rest) break;
                    const int end = i + std::countr_zero(rest);
                    if (end >= n) break;
                    out.emplace_back(runStart, y, x + end - runStart, 1);
                    runStart = -1;
                    i = end;
                }
            }
        }
        if (runStart >= 0) out.emplace_back(runStart, y, w - runStart, 1);
        CloseBandRow(out, band, rowStart);
    }
}

void AlphaBandsRef(const ConstView& v, const QRect& r, int minAlpha, std::vector<QRect>& out) {
    out.clear();
    size_t band = 0;
    for (int y = 0; y < r.height(); ++y) {
        const uint8_t* row = v.Pixel(r.left(), r.top() + y);
        const size_t rowStart = out.size();
        for (int x = 0; x < r.width();) {
            while (x < r.width() && int(PixelAt(row, x) >> 24) < minAlpha)
                ++x;
            const int start = x;
            while (x < r.width() && int(PixelAt(row, x) >> 24) >= minAlpha)
                ++x;
            if (x > start) out.emplace_back(start, y, x - start, 1);
        }
        CloseBandRow(out, band, rowStart);
    }
}

} // namespace DibOps
