// The overlay's paint as a whole, grabbed from its paint box over a patterned desktop: the help card and
// a rectangle cut through it in the normal view, the grid and the read-out in the zoomed view.
// VEXMOR_VIEW_PNG=<prefix> writes the grabbed views out for a look.
#include "FakePlatform.h"
#include "Globals.h"
#include "HelpCard.h"
#include "Input.h"
#include "OverlayPaint.h"
#include "test_input_fakes.h"
#include "ParamName.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

constexpr int W = 320, H = 240;

class OverlayView : public ::testing::Test {
  protected:
    void SetUp() override {
        // The tool and colour a user last picked carry over to the next overlay: not between tests.
        LastOverlayTool = TToolKind::Pen;
        LastOverlayColour = 1;
        fake = InstallFakePlatform();
        ResampleMode = TInterpolation::Nearest;
        form = new TInputForm(PatternGrab(W, H), &owner, false);
        form->CapBox()->setGeometry(0, 0, W, H);
        GiveOwnPointer(*form, cursor);
    }
    void TearDown() override {
        if (form && !form->Closed()) form->FormClose();
        FlushDeletes();
        InputForm = nullptr;
    }
    QImage Grab(const char* name) {
        QImage shot = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (const char* prefix = std::getenv("VEXMOR_VIEW_PNG"))
            shot.save(QString::fromLocal8Bit(prefix) + QString::fromLatin1(name) + QStringLiteral(".png"));
        return shot;
    }
    std::shared_ptr<TFakeState> fake;
    TFakeCaptureOwner owner;
    QPointer<TInputForm> form;
    QPoint cursor{0, 0};
};

QRgb Desktop(int x, int y) {
    return PatternPixel(x, y) | 0xFF000000u;
}

TEST_F(OverlayView, NormalViewShowsTheCardAndARectangleCutsThroughIt) {
    const QRect card = form->HelpCardRect;
    ASSERT_EQ(card, QRect(W - 183 - 16, (H - 224) / 2, 183, 224));
    QImage before = Grab("normal");
    ASSERT_EQ(before.size(), QSize(W, H));
    // Tinted desktop away from the card; the card's dark panel over it, clearly darker.
    EXPECT_NE(before.pixel(20, 20), Desktop(20, 20));
    const QRgb panel = before.pixel(card.left() + 10, card.top() + 100);
    EXPECT_LT(qRed(panel) + qGreen(panel) + qBlue(panel), 3 * 48);
    EXPECT_GT(qBlue(before.pixel(card.left() + 80, card.top() + 30)), 0);

    // A rectangle selection across the card clears card and tint inside it.
    form->CapBoxMouseDown(Qt::LeftButton, Qt::ControlModifier, card.left() - 40, card.top() + 20);
    form->CapBoxMouseMove(Qt::ControlModifier, card.left() + 60, card.top() + 120);
    QImage cut = Grab("normal_rect");
    for (auto [x, y] : {std::pair{card.left() + 10, card.top() + 100},
                        {card.left() + 50, card.top() + 60},
                        {card.left() - 20, card.top() + 40}})
        EXPECT_EQ(cut.pixel(x, y), Desktop(x, y)) << "inside the cut at " << x << "," << y;
    EXPECT_EQ(cut.pixel(card.left() + 10, card.top() + 200), before.pixel(card.left() + 10, card.top() + 200))
        << "the card below the cut stays";
}

TEST_F(OverlayView, ALassoClearsTheCardWithinItsOutline) {
    const QRect card = form->HelpCardRect;
    const QImage before = Grab("normal");
    const int x0 = card.left() - 40, y0 = card.top() + 20;
    form->CapBoxMouseDown(Qt::LeftButton, Qt::NoModifier, x0, y0);
    for (QPoint p :
         {QPoint(x0 + 120, y0), QPoint(x0 + 120, y0 + 120), QPoint(x0, y0 + 120), QPoint(x0, y0 + 4)})
        for (int i = 0; i < 40; ++i) {
            form->CapBoxMouseMove(Qt::NoModifier, p.x(), p.y());
            form->CatchStep();
        }
    // The press started the card's fade and the worker has finished it; show the card as at the start.
    form->HelpCardFade.store(-1);
    form->HelpCardAlpha.store(255);
    const QImage lasso = Grab("normal_lasso");
    const QPoint inside(x0 + 60, y0 + 60);
    ASSERT_TRUE(card.contains(inside));
    EXPECT_EQ(lasso.pixel(inside), Desktop(inside.x(), inside.y())) << "card and tint cleared inside";
    EXPECT_EQ(lasso.pixel(card.left() + 10, card.top() + 200),
              before.pixel(card.left() + 10, card.top() + 200))
        << "the card outside the lasso stays";
    const QRgb outline = lasso.pixel(x0 + 120, y0 + 60);
    EXPECT_GT(qBlue(outline), qRed(outline)) << "the blue outline runs along the lasso";
}

TEST_F(OverlayView, ZoomedViewDrawsTheGridFromZoomFour) {
    form->SetZoom(8, false);
    for (int i = 0; i < 400; ++i)
        form->CatchStep();
    QImage zoomed = Grab("zoom8");
    ASSERT_EQ(zoomed.size(), QSize(W, H));
    // Inside one image pixel (8x8 block) the colour is flat; the grid darkens the block's left column.
    int darker = 0, blocks = 0;
    for (int by = 1; by < H / 8 - 1; by += 3)
        for (int bx = 1; bx < W / 8 - 1; bx += 3) {
            const QRgb inner = zoomed.pixel(bx * 8 + 4, by * 8 + 4);
            const QRgb edge = zoomed.pixel(bx * 8, by * 8 + 4);
            ++blocks;
            darker += qGreen(edge) < qGreen(inner) || qBlue(edge) < qBlue(inner) ? 1 : 0;
        }
    EXPECT_GT(darker, blocks * 3 / 4) << "whole zooms put image pixels on 8-pixel blocks";
}

// The desktop's green channel depends on the row only, so along one client row any darker column is a
// vertical grid line.
int DarkColumns(const QImage& zoomed, int y) {
    int top = 0, dark = 0;
    for (int x = 0; x < W; ++x)
        top = std::max(top, qGreen(zoomed.pixel(x, y)));
    for (int x = 0; x < W; ++x)
        dark += qGreen(zoomed.pixel(x, y)) < top ? 1 : 0;
    return dark;
}

struct GridCase {
    double zoom;
    TInterpolation resample;
    bool grid;
};

class OverlayGrid : public OverlayView, public ::testing::WithParamInterface<GridCase> {};

TEST_P(OverlayGrid, OnlyNearestZoomsFromThreeAndAHalfShowTheGrid) {
    ResampleMode = GetParam().resample;
    form->SetZoom(GetParam().zoom, false);
    for (int i = 0; i < 400; ++i)
        form->CatchStep();
    const QImage shot = Grab("grid");
    const int columns = DarkColumns(shot, H / 2 + 1) + DarkColumns(shot, H / 2 + 2); // one is off the lines
    if (GetParam().grid)
        EXPECT_GE(columns, int(W / GetParam().zoom) - 2);
    else
        EXPECT_EQ(columns, 0);
}

INSTANTIATE_TEST_SUITE_P(Zooms, OverlayGrid,
                         ::testing::Values(GridCase{2, TInterpolation::Nearest, false},
                                           GridCase{3, TInterpolation::Nearest, false},
                                           GridCase{4, TInterpolation::Nearest, true},
                                           GridCase{8, TInterpolation::Nearest, true},
                                           GridCase{8, TInterpolation::Linear, false}),
                         [](const auto& info) {
                             const GridCase& c = info.param;
                             return "Zoom" + NamePart(c.zoom) + InterpolationName(c.resample);
                         });

TEST_F(OverlayView, ZoomedFramesFollowThePaintBoxSize) {
    form->SetZoom(2, false);
    for (int i = 0; i < 400; ++i)
        form->CatchStep();
    const QImage first = Grab("zoom2");
    EXPECT_EQ(Grab("zoom2_again"), first) << "the kept frame is painted afresh";
    form->CapBox()->setGeometry(0, 0, 200, 120);
    const QImage smaller = Grab("zoom2_small");
    ASSERT_EQ(smaller.size(), QSize(200, 120));
    EXPECT_EQ(smaller.copy(0, 0, 200, 120), first.copy(0, 0, 200, 120)) << "same view, smaller window";
}

int WhiteIn(const QImage& img, const QRect& r) {
    int n = 0;
    const QRect in = r & img.rect();
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            n += qRed(c) > 230 && qGreen(c) > 230 && qBlue(c) > 230 ? 1 : 0;
        }
    return n;
}

TEST_F(OverlayView, HoveringInTheZoomedViewShowsTheReadOutBesideThePick) {
    form->SetZoom(4, false);
    for (int i = 0; i < 400; ++i)
        form->CatchStep();
    form->TakePaintView(); // the mouse is mapped with the view of the last paint
    std::set<int> sides;
    for (QPoint mouse : {QPoint(42, 30), QPoint(160, 120), QPoint(20, 200), QPoint(290, 20)}) {
        form->CapBoxMouseMove(Qt::NoModifier, mouse.x(), mouse.y());
        ASSERT_FALSE(form->PickRect.None());
        const QImage shot = Grab("zoom4_pick");
        const QRect n = form->PickRect.Normalised();
        const QPoint a = form->ClientFromImage(n.left(), n.top());
        const QPoint b = form->ClientFromImage(n.left() + n.width(), n.top() + n.height());
        const QRect s(a, QSize(b.x() - a.x(), b.y() - a.y()));
        EXPECT_EQ(s.size(), QSize(4, 4)) << "one image pixel at zoom 4";
        const QRect panel = PickPanelRect(s, W, H);
        sides.insert((panel.left() > s.left() ? 1 : 0) + (panel.top() > s.top() ? 2 : 0));
        EXPECT_GT(WhiteIn(shot, panel), 150) << "read-out text in the panel";
        EXPECT_EQ(WhiteIn(shot, QRect(0, 0, W, H)), WhiteIn(shot, panel)) << "and nowhere else";
        const QRgb band = shot.pixel(s.left() + 1, s.top() > H / 2 ? 2 : H - 3);
        EXPECT_GT(qBlue(band), qRed(band)) << "the lilac band through the pick";
    }
    EXPECT_EQ(sides.size(), 4u) << "the panel took every side of the pick at the view's edges";
}

// A horizontal right-button stroke from (40, y) to (200, y), left to catch up.
void Stroke(TInputForm& f, int y) {
    f.CapBoxMouseDown(Qt::RightButton, Qt::NoModifier, 40, y);
    for (int x = 40; x <= 200; x += 4) {
        f.CapBoxMouseMove(Qt::NoModifier, x, y);
        f.CatchStep();
    }
    f.CapBoxMouseUp(Qt::RightButton, Qt::NoModifier, 200, y);
    for (int i = 0; i < 100; ++i)
        f.CatchStep();
}

TEST_F(OverlayView, InkIsOpaqueAtWidthSixAndAHighlighterAtSeventeen) {
    InkColor = 0xFFD80000u;
    Stroke(*form, 100);
    Stroke(*form, 160);
    // A vertical stroke crossing the lower one: each stroke is blended on its own.
    form->CapBoxMouseDown(Qt::RightButton, Qt::NoModifier, 120, 130);
    for (int y = 130; y <= 200; y += 4) {
        form->CapBoxMouseMove(Qt::NoModifier, 120, y);
        form->CatchStep();
    }
    form->CapBoxMouseUp(Qt::RightButton, Qt::NoModifier, 120, 200);
    for (int i = 0; i < 100; ++i)
        form->CatchStep();

    const QImage thin = Grab("ink6");
    EXPECT_EQ(thin.pixel(120, 100), qRgb(216, 0, 0));
    EXPECT_EQ(thin.pixel(120, 101), qRgb(216, 0, 0));
    EXPECT_NE(thin.pixel(120, 107), qRgb(216, 0, 0)) << "a 6-pixel pen stays within 3 pixels";
    EXPECT_EQ(thin.pixel(120, 160), qRgb(216, 0, 0)) << "opaque ink over opaque ink";

    form->PenWidth.store(17); // the wheel re-renders every stroke with the new pen
    const QImage wide = Grab("ink17");
    const QRgb single = wide.pixel(60, 100), near = wide.pixel(60, 107), crossing = wide.pixel(120, 160);
    EXPECT_NE(single, qRgb(216, 0, 0)) << "alpha 146 lets the desktop through";
    EXPECT_GT(qRed(single), qGreen(single) + 60);
    EXPECT_NE(near, thin.pixel(60, 107)) << "the 17-pixel pen reaches 7 pixels out";
    EXPECT_GT(qRed(near), qGreen(near) + 60);
    EXPECT_GT(qRed(crossing), qRed(single)) << "two strokes darken where they cross";
    EXPECT_LT(qGreen(crossing), qGreen(single));
}

TEST_F(OverlayView, UndoRightAfterAFastStrokeRemovesItWhileItCatchesUp) {
    InkColor = 0xFFD80000u;
    form->CapBoxMouseDown(Qt::RightButton, Qt::NoModifier, 20, 120);
    for (int x : {60, 140, 260}) { // a flick: the pen lags far behind the mouse
        form->CapBoxMouseMove(Qt::NoModifier, x, 120);
        form->CatchStep();
    }
    form->CapBoxMouseUp(Qt::RightButton, Qt::NoModifier, 260, 120);
    {
        std::lock_guard<std::mutex> lock(form->ShapeLock);
        ASSERT_EQ(form->Shapes.size(), 2u);
        ASSERT_EQ(form->Shapes[1].Kind, skFollowing) << "still catching up when the key comes";
    }
    const QImage drawn = Grab("undo_before");
    EXPECT_EQ(drawn.pixel(40, 120), qRgb(216, 0, 0));
    form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
    for (int i = 0; i < 100; ++i)
        form->CatchStep(); // the worker has nothing left to move
    {
        std::lock_guard<std::mutex> lock(form->ShapeLock);
        EXPECT_EQ(form->Shapes.size(), 1u);
    }
    const QImage undone = Grab("undo_after");
    for (int x = 20; x < 300; x += 10)
        ASSERT_NE(undone.pixel(x, 120), qRgb(216, 0, 0)) << "no ink left at " << x;
    // Undo goes no further than the strokes: the selection stays.
    form->FormKeyDown(Qt::Key_Delete, Qt::NoModifier);
    std::lock_guard<std::mutex> lock(form->ShapeLock);
    EXPECT_EQ(form->Shapes.size(), 1u);
}

} // namespace
