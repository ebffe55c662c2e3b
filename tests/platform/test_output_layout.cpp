// The Wayland monitors' places in the desktop's device pixels.
#include "OutputLayout.h"

#include <gtest/gtest.h>

namespace {

TOutputInfo Output(const char* name, QRect logical, QSize device) {
    return {QString::fromLatin1(name), logical, device};
}

void ExpectNoOverlap(const TOutputLayout& layout) {
    const auto& places = layout.Places();
    for (size_t i = 0; i < places.size(); ++i)
        for (size_t j = i + 1; j < places.size(); ++j)
            EXPECT_FALSE(places[i].device.intersects(places[j].device))
                << places[i].info.name.toStdString() << " and " << places[j].info.name.toStdString();
}

} // namespace

TEST(OutputLayout, OneScaleEverywhereIsTheLayoutTimesTheScale) {
    const TOutputLayout one({Output("A", QRect(0, 0, 1920, 1080), QSize(1920, 1080)),
                             Output("B", QRect(1920, 0, 1280, 1024), QSize(1280, 1024))});
    EXPECT_EQ(one.Monitors(), (QList<QRect>{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)}));
    EXPECT_EQ(one.Bounds(), QRect(0, 0, 3200, 1080));

    const TOutputLayout two({Output("A", QRect(0, 0, 960, 540), QSize(1920, 1080)),
                             Output("B", QRect(0, 540, 960, 540), QSize(1920, 1080))});
    EXPECT_EQ(two.Monitors(), (QList<QRect>{QRect(0, 0, 1920, 1080), QRect(0, 1080, 1920, 1080)}));
    EXPECT_EQ(two.DeviceFromLogical(QRect(100, 500, 50, 80)), QRect(200, 1000, 100, 160));
}

TEST(OutputLayout, MixedScalesSideBySideStayAdjacentWithoutOverlap) {
    // The compositor's test layout: a 1x output and a 2x one of 1280 x 1024 pixels to its right.
    const TOutputLayout layout({Output("HEADLESS-1", QRect(0, 0, 1920, 1080), QSize(1920, 1080)),
                                Output("HEADLESS-2", QRect(1920, 0, 640, 512), QSize(1280, 1024))});
    EXPECT_EQ(layout.Monitors(), (QList<QRect>{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)}));
    EXPECT_EQ(layout.Bounds(), QRect(0, 0, 3200, 1080));
    // A point of the scaled output lands on its own pixels.
    EXPECT_EQ(layout.DeviceFromLogical(QPointF(1920 + 100, 50)), QPointF(1920 + 200, 100));
    // A window's frame on the 1x output only keeps its size where no 2x output shares its rows.
    EXPECT_EQ(layout.DeviceFromLogical(QRect(100, 600, 300, 200)).size(), QSize(300, 200));
    ExpectNoOverlap(layout);
}

TEST(OutputLayout, TheLargerScaleOnTheLeftPushesTheNeighbourAside) {
    // A 2x output of 3840 pixels (1920 logical) left of a 1x one: the neighbour starts after its pixels.
    const TOutputLayout layout({Output("A", QRect(0, 0, 1920, 1080), QSize(3840, 2160)),
                                Output("B", QRect(1920, 0, 1920, 1080), QSize(1920, 1080))});
    EXPECT_EQ(layout.Monitors(), (QList<QRect>{QRect(0, 0, 3840, 2160), QRect(3840, 0, 1920, 1080)}));
    ExpectNoOverlap(layout);
}

TEST(OutputLayout, ArbitraryArrangementsNeverOverlap) {
    // Offsets, a gap, stacking, negative coordinates and fractional scales.
    const TOutputLayout layout({Output("A", QRect(-1280, 200, 1280, 720), QSize(1920, 1080)),
                                Output("B", QRect(0, 0, 1920, 1080), QSize(1920, 1080)),
                                Output("C", QRect(0, 1080, 1280, 800), QSize(2560, 1600)),
                                Output("D", QRect(2400, 100, 1000, 700), QSize(1500, 1050))});
    ExpectNoOverlap(layout);
    ASSERT_EQ(layout.Places().size(), 4u);
    for (const TOutputPlace& p : layout.Places())
        EXPECT_EQ(p.device.size(), p.info.device) << p.info.name.toStdString();
    // The order of outputs along each axis is kept.
    const QList<QRect> m = layout.Monitors();
    EXPECT_LT(m[0].right(), m[1].left());
    EXPECT_LT(m[1].bottom(), m[2].top());
    EXPECT_LT(m[1].right(), m[3].left());
    EXPECT_EQ(m[0].left(), -1280); // the layout's first edge keeps its coordinate
}

TEST(OutputLayout, OutputsNotYetDescribedTakeNoRoom) {
    const TOutputLayout layout({Output("A", QRect(0, 0, 1920, 1080), QSize(1920, 1080)),
                                Output("B", QRect(), QSize(1920, 1080)),
                                Output("C", QRect(0, 0, 10, 10), QSize())});
    EXPECT_EQ(layout.Monitors(), (QList<QRect>{QRect(0, 0, 1920, 1080)}));
    EXPECT_TRUE(TOutputLayout().Bounds().isEmpty());
    EXPECT_EQ(TOutputLayout().DeviceFromLogical(QRect(1, 2, 3, 4)), QRect(1, 2, 3, 4));
}

// Three outputs side by side at 1.25, 1.5 and 2, of different heights (the scenario's layout): the pixel
// under a point is floor((p - corner) * scale) of the output it lies on, at its edges too; the rows of
// the shorter 1.25 output below the others keep its own scale.
TEST(OutputLayout, ThePixelUnderAPointIsItsOwnOutputsScaleFloored) {
    const TOutputLayout layout({Output("A", QRect(0, 0, 1280, 800), QSize(1600, 1000)),
                                Output("B", QRect(1280, 0, 1000, 600), QSize(1500, 900)),
                                Output("C", QRect(2280, 0, 800, 600), QSize(1600, 1200))});
    ASSERT_EQ(layout.Monitors(),
              (QList<QRect>{QRect(0, 0, 1600, 1000), QRect(1600, 0, 1500, 900), QRect(3100, 0, 1600, 1200)}));
    const struct {
        QPointF logical;
        QPoint pixel;
    } cases[] = {
        {{0, 0}, {0, 0}},         {{1, 1}, {1, 1}},
        {{3, 3}, {3, 3}},                                         // 1.25: 3.75 is pixel 3
        {{4, 4}, {5, 5}},         {{1279.5, 799.5}, {1599, 999}}, // the last point of A
        {{100, 700}, {125, 875}},                                 // below B and C's rows
        {{1280, 0}, {1600, 0}},   {{1281, 1}, {1601, 1}},
        {{1282, 3}, {1603, 4}},   {{2279, 599}, {3098, 898}},       // B's last whole point
        {{2280, 0}, {3100, 0}},   {{2281.5, 599.75}, {3103, 1199}}, // C at 2
    };
    for (const auto& c : cases)
        EXPECT_EQ(layout.DevicePixelAt(c.logical), c.pixel) << c.logical.x() << "," << c.logical.y();
    // A window's frame on A below the others' rows: at A's scale from A's corner.
    EXPECT_EQ(layout.DeviceFromLogical(QRect(100, 640, 400, 100)), QRect(125, 800, 500, 125));
    const TOutputLayout one({Output("A", QRect(0, 0, 1920, 1080), QSize(1920, 1080))});
    EXPECT_EQ(one.DevicePixelAt(QPointF(17, 23)), QPoint(17, 23));
    EXPECT_EQ(one.DevicePixelAt(QPointF(17.99, 23.5)), QPoint(17, 23));
}
