// Comparing a drawn picture with a stored one. Away from edges every channel must be within 6 of the
// stored value; at edges (a neighbour more than 32 apart in some channel) up to 2 % of the pixels may
// differ more, for anti-aliasing that moves by a rounding. VEXMOR_UPDATE_GOLDEN=1 writes the stored
// picture instead; a failing picture is left at `failedCopy` for a look.
#pragma once

#include <QImage>
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace golden {

constexpr int ChannelTolerance = 6;
constexpr int EdgeContrast = 32;
constexpr double EdgeBudget = 0.02;

inline int ChannelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

inline bool IsEdge(const QImage& img, int x, int y) {
    const QRgb c = img.pixel(x, y);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= img.width() || ny >= img.height()) continue;
            if (ChannelDistance(c, img.pixel(nx, ny)) > EdgeContrast) return true;
        }
    return false;
}

} // namespace golden

inline void ExpectLikeGolden(const QImage& actual, const QString& goldenPath, const QString& failedCopy) {
    using namespace golden;
    const std::string name = goldenPath.toStdString();
    if (std::getenv("VEXMOR_UPDATE_GOLDEN")) {
        ASSERT_TRUE(actual.save(goldenPath)) << name;
        return;
    }
    QImage stored(goldenPath);
    ASSERT_FALSE(stored.isNull()) << "missing " << name << " (VEXMOR_UPDATE_GOLDEN=1 writes it)";
    stored = stored.convertToFormat(actual.format());
    ASSERT_EQ(stored.size(), actual.size()) << name;
    int edges = 0, edgeDiffs = 0, flatDiffs = 0;
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) {
            const bool edge = IsEdge(stored, x, y);
            edges += edge;
            if (ChannelDistance(stored.pixel(x, y), actual.pixel(x, y)) <= ChannelTolerance) continue;
            (edge ? edgeDiffs : flatDiffs)++;
        }
    const int budget = int(edges * EdgeBudget) + 2;
    EXPECT_EQ(flatDiffs, 0) << name << ": pixels away from any edge differ";
    EXPECT_LE(edgeDiffs, budget) << name << ": of " << edges << " edge pixels";
    if (flatDiffs || edgeDiffs > budget) actual.save(failedCopy);
}
