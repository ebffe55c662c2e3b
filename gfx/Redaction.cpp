#include "Redaction.h"

#include <algorithm>
#include <cmath>

namespace Redaction {

namespace {

// One side of the ring: the usable pixels along it, summed from the side's start, so that the mean over
// any stretch costs two look-ups.
struct TSide {
    std::vector<int64_t> sum[3]; // running sums of blue, green, red
    std::vector<int32_t> count;  // running count of usable pixels

    void Add(const uint8_t* p) {
        for (int c = 0; c < 3; ++c)
            sum[c].push_back(sum[c].back() + (p ? p[c] : 0));
        count.push_back(count.back() + (p ? 1 : 0));
    }
    // The mean of positions [from, to) of the side; false when none of them is usable.
    bool Mean(int from, int to, double out[3]) const {
        from = std::clamp(from, 0, int(count.size()) - 1);
        to = std::clamp(to, 0, int(count.size()) - 1);
        const int n = count[size_t(to)] - count[size_t(from)];
        if (n <= 0) return false;
        for (int c = 0; c < 3; ++c)
            out[c] = double(sum[c][size_t(to)] - sum[c][size_t(from)]) / n;
        return true;
    }
    TSide() {
        for (auto& s : sum)
            s.push_back(0);
        count.push_back(0);
    }
};

bool Covered(int x, int y, std::span<const QRect> covered) {
    return std::any_of(covered.begin(), covered.end(), [x, y](const QRect& r) { return r.contains(x, y); });
}

const uint8_t* Usable(const DibOps::ConstView& v, int x, int y, std::span<const QRect> covered) {
    if (x < 0 || y < 0 || x >= v.width || y >= v.height || Covered(x, y, covered)) return nullptr;
    return v.Pixel(x, y);
}

// A fixed noise per block, the same for every box: -12..12, added to all three channels alike.
int Noise(int column, int row) {
    uint32_t h = uint32_t(column) * 0x9E3779B1u ^ uint32_t(row) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return int(h % 25u) - 12;
}

} // namespace

TBlocks SampleBlocks(const DibOps::ConstView& picture, const QRect& box, int blockSize,
                     std::span<const QRect> covered) {
    TBlocks b;
    b.box = box.normalized();
    b.size = std::max(blockSize, MinBlockSize);
    if (b.box.isEmpty()) return b;
    b.columns = (b.box.width() + b.size - 1) / b.size;
    b.rows = (b.box.height() + b.size - 1) / b.size;
    const int l = b.box.left(), t = b.box.top(), r = l + b.box.width(), bottom = t + b.box.height();
    TSide top, under, left, right;
    for (int x = l; x < r; ++x) {
        top.Add(Usable(picture, x, t - 1, covered));
        under.Add(Usable(picture, x, bottom, covered));
    }
    for (int y = t; y < bottom; ++y) {
        left.Add(Usable(picture, l - 1, y, covered));
        right.Add(Usable(picture, r, y, covered));
    }
    double ring[3] = {0, 0, 0};
    double ringN = 0;
    for (const TSide* s : {&top, &under, &left, &right})
        if (s->count.back() > 0) {
            double m[3] = {0, 0, 0};
            s->Mean(0, int(s->count.size()) - 1, m);
            for (int c = 0; c < 3; ++c)
                ring[c] += m[c] * s->count.back();
            ringN += s->count.back();
        }
    b.colours.resize(size_t(b.columns) * size_t(b.rows));
    for (int j = 0; j < b.rows; ++j)
        for (int i = 0; i < b.columns; ++i) {
            // The block's stretch of each side, and its distance from each.
            const int x0 = i * b.size, x1 = std::min(x0 + b.size, b.box.width());
            const int y0 = j * b.size, y1 = std::min(y0 + b.size, b.box.height());
            const double cx = (x0 + x1) * 0.5, cy = (y0 + y1) * 0.5;
            const struct {
                const TSide& side;
                int from, to;
                double distance;
            } sides[4] = {{top, x0, x1, cy},
                          {under, x0, x1, b.box.height() - cy},
                          {left, y0, y1, cx},
                          {right, y0, y1, b.box.width() - cx}};
            double acc[3] = {0, 0, 0}, weight = 0;
            for (const auto& s : sides) {
                double m[3] = {0, 0, 0};
                if (!s.side.Mean(s.from, s.to, m)) continue;
                const double w = 1.0 / (s.distance + 1);
                for (int c = 0; c < 3; ++c)
                    acc[c] += m[c] * w;
                weight += w;
            }
            uint32_t colour = NeutralColour;
            if (weight > 0 || ringN > 0) {
                const int noise = Noise(i, j);
                colour = 0xFF000000u;
                for (int c = 0; c < 3; ++c) {
                    const double v = weight > 0 ? acc[c] / weight : ring[c] / ringN;
                    colour |= uint32_t(std::clamp(int(std::lround(v)) + noise, 0, 255)) << (8 * c);
                }
            }
            b.colours[size_t(j) * size_t(b.columns) + size_t(i)] = colour;
        }
    return b;
}

void PaintBlocks(const DibOps::View& v, const TBlocks& blocks, QPoint origin, const QRect& clip) {
    const QRect limit = clip & QRect(0, 0, v.width, v.height);
    if (limit.isEmpty()) return;
    for (int j = 0; j < blocks.rows; ++j)
        for (int i = 0; i < blocks.columns; ++i) {
            const QRect cell(blocks.box.left() + i * blocks.size, blocks.box.top() + j * blocks.size,
                             blocks.size, blocks.size);
            const QRect r = (cell & blocks.box).translated(-origin) & limit;
            if (!r.isEmpty())
                DibOps::FillSet(v, r, blocks.colours[size_t(j) * size_t(blocks.columns) + size_t(i)]);
        }
}

} // namespace Redaction
