#include "TextPicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Grey levels further than this from the ground count as ink.
constexpr int InkDistance = 48;
// A picture is scaled up no more than this, and to no more pixels than these (a whole 4K monitor of
// small text would otherwise ask for gigabytes).
constexpr double MaxScale = 4;
constexpr double MaxScaledPixels = 24e6;

int GreyOf(int r, int g, int b) {
    return (r * 299 + g * 587 + b * 114 + 500) / 1000;
}

// Grey level of every pixel, or -1 for a pixel less than half covered.
std::vector<int> GreyLevels(const TDIB& picture) {
    const int w = picture.Width(), h = picture.Height(), bytes = picture.BitCount() / 8;
    std::vector<int> levels(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = picture.PixelPtr(0, y);
        int* out = levels.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x, p += bytes) {
            if (bytes == 4) {
                const int a = p[3];
                if (a < 128) {
                    out[x] = -1;
                    continue;
                }
                // premultiplied: back to the colour itself
                out[x] = std::min(255, (GreyOf(p[2], p[1], p[0]) * 255 + a / 2) / a);
            } else {
                out[x] = GreyOf(p[2], p[1], p[0]);
            }
        }
    }
    return levels;
}

} // namespace

TGroundAndInk GroundAndInk(const std::array<int, 256>& histogram) {
    // The ground is the most common level, smoothed over a small window so that a gradient or noise
    // does not split it.
    TGroundAndInk result;
    long best = -1;
    int window = 255;
    for (int level = 0; level < 256; ++level) {
        long sum = 0;
        for (int d = -3; d <= 3; ++d)
            if (level + d >= 0 && level + d < 256) sum += histogram[size_t(level + d)];
        if (sum > best) {
            best = sum;
            window = level;
        }
    }
    // Within the window, its most common level.
    result.ground = window;
    for (int level = std::max(0, window - 3); level <= std::min(255, window + 3); ++level)
        if (histogram[size_t(level)] > histogram[size_t(result.ground)]) result.ground = level;
    long lighter = 0, darker = 0;
    for (int level = 0; level < 256; ++level) {
        if (level > result.ground + InkDistance) lighter += histogram[size_t(level)];
        if (level < result.ground - InkDistance) darker += histogram[size_t(level)];
    }
    result.lightInk = lighter != darker ? lighter > darker : result.ground < 128;
    return result;
}

int TypicalLineHeight(const TDIB& grey, int threshold) {
    std::vector<int> runs;
    int run = 0;
    for (int y = 0; y <= grey.Height(); ++y) {
        bool ink = false;
        if (y < grey.Height()) {
            const uint8_t* p = grey.PixelPtr(0, y);
            for (int x = 0; x < grey.Width() && !ink; ++x)
                ink = p[x] < threshold;
        }
        if (ink) {
            ++run;
        } else if (run > 0) {
            // a run of one or two rows is a rule or a speck, not a line of text
            if (run > 2) runs.push_back(run);
            run = 0;
        }
    }
    if (runs.empty()) return 0;
    std::nth_element(runs.begin(), runs.begin() + long(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}

TTextPicture PrepareTextPicture(const TDIB& picture) {
    TTextPicture result;
    if (picture.Empty() || (picture.BitCount() != 24 && picture.BitCount() != 32)) return result;
    const int w = picture.Width(), h = picture.Height();
    std::vector<int> levels = GreyLevels(picture);

    std::array<int, 256> histogram{};
    for (const int level : levels)
        if (level >= 0) ++histogram[size_t(level)];
    const TGroundAndInk found = GroundAndInk(histogram);
    result.inverted = found.lightInk;

    // Dark ink on a light ground from here on.
    const auto oriented = [&](int level) { return result.inverted ? 255 - level : level; };
    const int ground = oriented(found.ground);
    std::array<int, 256> orientedHistogram{};
    for (int level = 0; level < 256; ++level)
        orientedHistogram[size_t(oriented(level))] += histogram[size_t(level)];
    // The ink's level: the darkest few per cent of what is darker than the ground.
    long inkPixels = 0;
    for (int level = 0; level < ground - InkDistance; ++level)
        inkPixels += orientedHistogram[size_t(level)];
    int ink = 0;
    for (long seen = 0; ink < ground - InkDistance; ++ink) {
        seen += orientedHistogram[size_t(ink)];
        if (seen * 20 > inkPixels) break;
    }
    if (inkPixels == 0) ink = std::max(0, ground - 255);
    const int span = std::max(ground - ink, 1);

    result.unscaled = TDIB(w, h, 8, true);
    for (int y = 0; y < h; ++y) {
        uint8_t* out = result.unscaled.PixelPtr(0, y);
        const int* in = levels.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const int level = in[x] < 0 ? ground : oriented(in[x]);
            out[x] = uint8_t(std::clamp((level - ink) * 255 / span, 0, 255));
        }
    }

    result.lineHeight = TypicalLineHeight(result.unscaled, 128);
    if (result.lineHeight > 0 && result.lineHeight < TextTargetLineHeight * 0.85)
        result.scale = std::max(1.0, std::min({MaxScale, double(TextTargetLineHeight) / result.lineHeight,
                                               std::sqrt(MaxScaledPixels / (double(w) * h))}));
    if (result.scale == 1) {
        result.grey = result.unscaled;
        return result;
    }
    // The resizers work on 24- and 32-bit images: the grey goes through one and comes back.
    TDIB wide(w, h, 24, true);
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = result.unscaled.PixelPtr(0, y);
        uint8_t* out = wide.PixelPtr(0, y);
        for (int x = 0; x < w; ++x, out += 3)
            out[0] = out[1] = out[2] = in[x];
    }
    const int sw = std::max(1, int(std::lround(w * result.scale))),
              sh = std::max(1, int(std::lround(h * result.scale)));
    TDIB scaled(sw, sh, 24, true);
    wide.Resize(scaled, QRect(0, 0, w, h), QRect(0, 0, sw, sh), TInterpolation::Cubic);
    wide.Clear();
    result.grey = TDIB(sw, sh, 8, true);
    for (int y = 0; y < sh; ++y) {
        const uint8_t* in = scaled.PixelPtr(0, y);
        uint8_t* out = result.grey.PixelPtr(0, y);
        for (int x = 0; x < sw; ++x, in += 3)
            out[x] = in[0];
    }
    return result;
}
