// The zoomed view's pick display drawn onto a flat grey view: the bands, the swatch frame, the dark tone
// and the white read-out text inside the panel, on either side of the pick. VEXMOR_PICK_PNG=<prefix>
// writes the views out for a look.
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include "OverlayPaint.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int W = 320, H = 200;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

Rgb At(TDIB& v, int x, int y) {
    const uint8_t* p = v.PixelPtr(x, y);
    return {p[2], p[1], p[0]};
}

int WhiteIn(TDIB& v, const QRect& r) {
    int n = 0;
    for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), H - 1); ++y)
        for (int x = std::max(r.left(), 0); x <= std::min(r.right(), W - 1); ++x) {
            const Rgb c = At(v, x, y);
            n += c.r > 230 && c.g > 230 && c.b > 230 ? 1 : 0;
        }
    return n;
}

class PickDisplay : public ::testing::Test {
  protected:
    TDIB Draw(const QRect& s, bool single, uint32_t picked, const char* name) {
        TDIB view(W, H, 24);
        view.FillRect(QRect(0, 0, W, H), 0xFF606060u, 256);
        DrawPickDisplay(view, text, s, QRect(12, 34, single ? 1 : 5, single ? 1 : 3), single, picked, 0);
        if (const char* prefix = std::getenv("VEXMOR_PICK_PNG"))
            QImage(view.Bits(), W, H, view.BytesPerRow(), QImage::Format_BGR888)
                .save(QString::fromLocal8Bit(prefix) + QString::fromLatin1(name) + QStringLiteral(".png"));
        return view;
    }
    TAgg2D text;
};

TEST_F(PickDisplay, HoveringShowsBandsSwatchAndText) {
    const QRect s(100, 40, 8, 8);
    TDIB v = Draw(s, true, 0x0000FFu, "hover");
    const QRect panel = PickPanelRect(s, W, H);
    ASSERT_EQ(panel.topLeft(), QPoint(135, 60));
    EXPECT_EQ(At(v, 10, 10), (Rgb{0x60, 0x60, 0x60})) << "corner areas stay untinted";
    const Rgb band = At(v, 103, 10), pick = At(v, 103, 43);
    EXPECT_NE(band, (Rgb{0x60, 0x60, 0x60}));
    EXPECT_EQ(At(v, 103, 190), band) << "below like above";
    EXPECT_EQ(At(v, 20, 43), band) << "left like above";
    EXPECT_GT(std::abs(band.b - 0x60), std::abs(pick.b - 0x60)) << "hovering: the bands weigh more";
    EXPECT_GT(band.b, band.r) << "a light blue-lilac";
    // The swatch bar left of the panel and the frame around it, in the picked colour.
    EXPECT_EQ(At(v, panel.left() - 8, panel.top() + 50), (Rgb{255, 0, 0}));
    EXPECT_EQ(At(v, panel.right(), panel.top() + 50), (Rgb{255, 0, 0})) << "right frame";
    EXPECT_EQ(At(v, panel.left() + 80, panel.top() - 1), (Rgb{255, 0, 0})) << "top frame";
    // A dark red tone inside, with white text; nothing white outside the panel.
    const Rgb inside = At(v, panel.left() + 170, panel.top() + 110);
    EXPECT_GT(inside.r, inside.g);
    EXPECT_GT(WhiteIn(v, panel), 200);
    EXPECT_EQ(WhiteIn(v, QRect(0, 0, W, H)), WhiteIn(v, panel));
}

TEST_F(PickDisplay, ADraggedPickWeighsMoreThanItsBandsAndFlipsAtTheCorner) {
    const QRect s(260, 150, 30, 20);
    TDIB v = Draw(s, false, 0x40C020u, "drag");
    const QRect panel = PickPanelRect(s, W, H);
    ASSERT_EQ(panel.topLeft(), QPoint(260 - 186, 150 - 128));
    const Rgb band = At(v, 270, 10), pick = At(v, 270, 160);
    EXPECT_GT(std::abs(pick.b - 0x60), std::abs(band.b - 0x60));
    EXPECT_EQ(At(v, panel.left() - 8, panel.top() + 50), (Rgb{0x20, 0xC0, 0x40}));
    EXPECT_GT(WhiteIn(v, panel), 200);
    EXPECT_EQ(WhiteIn(v, QRect(0, 0, W, H)), WhiteIn(v, panel));
}

TEST_F(PickDisplay, APanelThatFitsNowhereIsClippedAway) {
    // A view smaller than the panel: flipped both ways it lies wholly outside; only the bands show.
    TDIB view(50, 40, 24);
    view.FillRect(QRect(0, 0, 50, 40), 0xFF606060u, 256);
    const QRect s(10, 10, 8, 8);
    ASSERT_FALSE(PickPanelRect(s, 50, 40).intersects(QRect(0, 0, 50, 40)));
    DrawPickDisplay(view, text, s, QRect(3, 3, 1, 1), true, 0x0000FFu, 0);
    EXPECT_EQ(At(view, 2, 2), (Rgb{0x60, 0x60, 0x60}));
    EXPECT_EQ(At(view, 40, 30), (Rgb{0x60, 0x60, 0x60}));
    EXPECT_NE(At(view, 12, 30), (Rgb{0x60, 0x60, 0x60})) << "the band below the pick";
}

} // namespace
