// The normal view's row composition against the image library's plain operations done whole: the tint
// over the desktop everywhere in the clip, then in the drawn part the opaque desktop with the layer
// blended over it. Both desktop forms (24-bit picture, 32-bit rows with a stray fourth byte) and both
// ways of sharing the rows must give exactly that, and nothing outside the clip may change.
#include "DIBmp.h"
#include "DibOps.h"
#include "OverlayPaint.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int W = 97, H = 61;
constexpr uint32_t Tint = 0x57092236u;
constexpr uint32_t Untouched = 0x12345678u;

struct FrameCase {
    const char* name;
    QRect clip, drawn;
    QPoint at;
};

class OverlayFrame : public ::testing::TestWithParam<FrameCase> {
  protected:
    void SetUp() override {
        std::mt19937 rng(7);
        desktop24.SetSize(W, H, 24);
        rows32.SetSize(W, H, 32);
        layer.SetSize(W, H, 32);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint8_t* d = desktop24.PixelPtr(x, y);
                uint8_t* r = rows32.PixelPtr(x, y);
                for (int c = 0; c < 3; ++c)
                    r[c] = d[c] = uint8_t(rng());
                r[3] = uint8_t(rng()); // whatever the X server left there
                uint8_t* l = layer.PixelPtr(x, y);
                const uint8_t a = uint8_t(rng());
                for (int c = 0; c < 3; ++c)
                    l[c] = uint8_t(rng() % (a + 1u));
                l[3] = a;
            }
    }
    TDIB Expected(const FrameCase& c) {
        TDIB out(W + 20, H + 20, 32);
        out.FillRect(QRect(0, 0, out.Width(), out.Height()), Untouched, 256);
        DibOps::TintOverRef(desktop24.View(), c.clip, out.View(), c.at.x(), c.at.y(), Tint);
        if (!c.drawn.isEmpty()) {
            const QPoint d = c.at + (c.drawn.topLeft() - c.clip.topLeft());
            DibOps::Copy24To32Ref(desktop24.View(), c.drawn, out.View(), d.x(), d.y());
            DibOps::AlphaBlendRef(layer.View(), c.drawn, out.View(), d.x(), d.y(), 255, true);
        }
        return out;
    }
    TDIB Composed(const FrameCase& c, TDIB& desktop, bool split) {
        TDIB out(W + 20, H + 20, 32);
        out.FillRect(QRect(0, 0, out.Width(), out.Height()), Untouched, 256);
        ComposeOverlay(TOverlayFrame{desktop.View(), layer.View(), out.View(), c.clip, c.drawn, c.at, Tint},
                       split);
        return out;
    }
    TDIB desktop24, rows32, layer;
};

void ExpectSamePixels(TDIB& a, TDIB& b, const char* what) {
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            ASSERT_EQ(*a.PixelPtr32(x, y), *b.PixelPtr32(x, y)) << what << " at " << x << "," << y;
}

TEST_P(OverlayFrame, RowsEqualTheWholeOperations) {
    const FrameCase& c = GetParam();
    TDIB expected = Expected(c);
    for (const bool split : {false, true}) {
        TDIB from24 = Composed(c, desktop24, split);
        ExpectSamePixels(from24, expected, split ? "24-bit picture, split" : "24-bit picture");
        TDIB from32 = Composed(c, rows32, split);
        ExpectSamePixels(from32, expected, split ? "32-bit rows, split" : "32-bit rows");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, OverlayFrame,
    ::testing::Values(
        FrameCase{"NothingDrawn", QRect(0, 0, W, H), QRect(), QPoint(0, 0)},
        FrameCase{"DrawnInsideOffsetTarget", QRect(5, 3, 60, 40), QRect(20, 10, 17, 9), QPoint(11, 7)},
        FrameCase{"DrawnAlongTheLeftAndTop", QRect(5, 3, 60, 40), QRect(5, 3, 30, 12), QPoint(0, 0)},
        FrameCase{"DrawnAlongTheRightAndBottom", QRect(0, 0, W, H), QRect(70, 50, W - 70, H - 50),
                  QPoint(20, 20)},
        FrameCase{"DrawnIsTheClip", QRect(10, 10, 40, 30), QRect(10, 10, 40, 30), QPoint(3, 4)},
        FrameCase{"OneRowClip", QRect(0, 30, W, 1), QRect(40, 30, 1, 1), QPoint(0, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
