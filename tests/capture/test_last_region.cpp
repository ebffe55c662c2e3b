#include "LastRegion.h"

#include <gtest/gtest.h>

namespace {

TCaptureRegion Lasso() {
    return {false, {10, 20, 90, 70}, {{10.5, 20.5}, {89.5, 20.5}, {50.25, 69.5}}};
}

TEST(LastRegion, TextRoundTripsAndMovesWithTheImageOrigin) {
    const TCaptureRegion lasso = Lasso();
    EXPECT_EQ(RegionFromText(RegionToText(lasso)), lasso);
    // A desktop whose image starts at (-100, 50) on the screen: the same screen place.
    const CaptureShape s = SelectionOfRegion(lasso, QPoint(-100, 50));
    EXPECT_EQ(s.Bounds, (TShapeBounds{110, -30, 190, 20}));
    EXPECT_DOUBLE_EQ(s.Points[2].x, 150.25);
    EXPECT_EQ(RegionOfSelection(s, QPoint(-100, 50)), lasso);
    // A click keeps nothing to take again.
    CaptureShape click = s;
    click.Bounds = {0, 0, 20, 20};
    EXPECT_FALSE(RegionOfSelection(click, QPoint()));
}

TEST(LastRegion, DamagedTextIsRefused) {
    const QByteArray good = RegionToText(Lasso());
    for (const QByteArray& bad :
         {QByteArray(), good.left(good.size() - 8), QByteArray(good).replace("lasso", "blob"),
          QByteArray(good).replace("\n3\n", "\n4\n"), QByteArray(good).replace("\n3\n", "\n2000000\n"),
          QByteArray(good).replace("89.5", "1e300"), QByteArray(good).replace("20.5", "nan"),
          QByteArray(good).replace("vexmor-region 1", "vexmor-region 2"),
          QByteArray(good).replace("lasso", "rectangle"), good + "junk\n"})
        EXPECT_FALSE(RegionFromText(bad)) << bad.constData();
}

} // namespace
