// The overlay's whole picture, grabbed from its paint box over a small synthetic desktop, compared with
// reviewed PNGs in tests/data/golden/overlay: the normal view with a rectangle and a lasso over the help
// card, the zoomed view at 2, 4 and 8 with and without the grid, the pick display hovering and dragged
// and flipped at the view's edges, and ink at widths 6 and 17. A colour tolerance per channel and a small
// budget of differing pixels next to edges absorb font versions. VEXMOR_UPDATE_GOLDEN=1 rewrites the
// PNGs; a failing case leaves its picture as <build>/overlay-<name>-actual.png.
#include "FakePlatform.h"
#include "GoldenImage.h"
#include "Globals.h"
#include "Input.h"
#include "test_input_fakes.h"

#include <QCoreApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QPixmap>
#include <QPointer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr int W = 320, H = 200;

// A desktop with something to look at: a gradient, a window with a title bar and lines of "text", a pure
// red square (its pick reads 0000FF) and a black and yellow checkerboard.
TDIB SyntheticDesktop() {
    TDIB d(W, H, 24);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int r = 40 + y / 4, g = 80 + x / 5, b = 160 + (x + y) / 10;
            if (x >= 30 && x < 190 && y >= 20 && y < 150) {
                if (y < 34) {
                    r = 50, g = 60, b = 90;
                } else {
                    r = 240, g = 240, b = 235;
                    const int line = (y - 40) / 10, inLine = (y - 40) % 10;
                    const int length = 40 + (line * 37) % 100;
                    if (y >= 40 && inLine < 4 && x >= 40 && x < 40 + length) r = g = b = 60;
                }
            }
            if (x >= 210 && x < 250 && y >= 40 && y < 80) r = 255, g = 0, b = 0;
            if (x >= 220 && x < 300 && y >= 120 && y < 180) {
                const bool dark = (x / 4 + y / 4) % 2;
                r = dark ? 0 : 250, g = dark ? 0 : 220, b = dark ? 0 : 30;
            }
            uint8_t* p = d.PixelPtr(x, y);
            p[0] = uint8_t(std::min(b, 255)), p[1] = uint8_t(std::min(g, 255)),
            p[2] = uint8_t(std::min(r, 255));
        }
    return d;
}

void CompareWithGolden(const QImage& actual, const std::string& name) {
    const QString base = QString::fromStdString(name);
    ExpectLikeGolden(actual, QStringLiteral(VEXMOR_TEST_DATA "/golden/overlay/") + base + ".png",
                     QStringLiteral(VEXMOR_BUILD_DIR "/overlay-") + base + "-actual.png");
}

class OverlayScene : public ::testing::Test {
  public:
    void SetUp() override {
        // The tool and colour a user last picked carry over to the next overlay: not between tests.
        LastOverlayTool = TToolKind::Pen;
        LastOverlayColour = 1;
        fake = InstallFakePlatform();
        OverlaySoundHook = [](const QString&, unsigned) {};
        ResampleMode = TInterpolation::Nearest;
        InkColor = 0xFFD80000u;
        TDesktopGrab grab;
        grab.image = SyntheticDesktop();
        grab.desktopBounds = QRect(0, 0, W, H);
        grab.grabbedRect = grab.desktopBounds;
        form = new TInputForm(std::move(grab), &owner, false);
        form->CapBox()->setGeometry(0, 0, W, H);
        GiveOwnPointer(*form, cursor);
    }
    void TearDown() override {
        if (form && !form->Closed()) form->FormClose();
        FlushDeletes();
        OverlaySoundHook = nullptr;
        InputForm = nullptr;
        ResampleMode = TInterpolation::Nearest;
    }

    // Lets the worker finish every animation and fixes the pulse of the grid and bands.
    void Settle() {
        for (int i = 0; i < 400; ++i)
            form->CatchStep();
        form->TickCount.store(30);
        form->TakePaintView();
    }
    // Zooms about the pointer at p (client = image coordinates before zooming).
    void Zoom(int zoom, QPoint p, TInterpolation resample) {
        cursor = p;
        ResampleMode = resample;
        form->SetZoom(zoom, false);
        Settle();
    }
    void Move(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier) {
        cursor = {x, y};
        form->CapBoxMouseMove(m, x, y);
    }
    // A mouse path the worker follows, a few cycles per point.
    void Trace(std::initializer_list<QPoint> path, int steps = 12) {
        QPoint from(cursor);
        for (const QPoint& to : path) {
            for (int i = 1; i <= steps; ++i) {
                Move(from.x() + (to.x() - from.x()) * i / steps, from.y() + (to.y() - from.y()) * i / steps);
                form->CatchStep();
            }
            from = to;
        }
    }
    void Press(Qt::MouseButton b, int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier) {
        cursor = {x, y};
        form->CapBoxMouseDown(b, m, x, y);
    }
    void Release(Qt::MouseButton b) { form->CapBoxMouseUp(b, Qt::NoModifier, cursor.x(), cursor.y()); }
    // The help card as before any press: fully there.
    void ShowCard() {
        form->HelpCardFade.store(-1);
        form->HelpCardAlpha.store(255);
    }
    // Two free-form strokes that cross and a rectangle, with the given pen.
    void DrawInk(float width) {
        form->PenWidth.store(width);
        Press(Qt::RightButton, 40, 60);
        Trace({{100, 40}, {160, 90}, {220, 60}, {280, 110}});
        Release(Qt::RightButton);
        Press(Qt::RightButton, 120, 20);
        Trace({{140, 100}, {110, 170}});
        Release(Qt::RightButton);
        Press(Qt::RightButton, 200, 130, Qt::ControlModifier);
        Move(290, 185, Qt::ControlModifier);
        Release(Qt::RightButton);
        Settle();
    }

    std::shared_ptr<TFakeState> fake;
    TFakeCaptureOwner owner;
    QPointer<TInputForm> form;
    QPoint cursor{0, 0};
};

struct GoldenCase {
    const char* name;
    std::function<void(OverlayScene&)> drive;
};

class OverlayGolden : public OverlayScene, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(OverlayGolden, MatchesTheReviewedPicture) {
    GetParam().drive(*this);
    const QImage shot = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(W, H));
    CompareWithGolden(shot, GetParam().name);
}

// The zoomed views look at the window's right edge and the red square (image x 175..215, y 52..77 at 8).
const QPoint ZoomCentre(200, 60);
// Zoomed about this, the view shows image x 210..250, y 35..60: the red square's top left corner.
const QPoint RedCorner(240, 40);

INSTANTIATE_TEST_SUITE_P(
    Views, OverlayGolden,
    ::testing::Values(
        GoldenCase{"normal_rect",
                   [](OverlayScene& t) {
                       t.Press(Qt::LeftButton, 100, 40, Qt::ControlModifier);
                       t.Move(230, 150, Qt::ControlModifier); // across the card; no release, which confirms
                   }},
        GoldenCase{"normal_lasso",
                   [](OverlayScene& t) {
                       t.Press(Qt::LeftButton, 110, 30);
                       t.Trace({{250, 50}, {290, 150}, {180, 180}, {120, 120}});
                       t.ShowCard();
                   }},
        GoldenCase{"zoom2_nearest", [](OverlayScene& t) { t.Zoom(2, ZoomCentre, TInterpolation::Nearest); }},
        GoldenCase{"zoom2_cubic", [](OverlayScene& t) { t.Zoom(2, ZoomCentre, TInterpolation::Cubic); }},
        GoldenCase{"zoom4_grid", [](OverlayScene& t) { t.Zoom(4, ZoomCentre, TInterpolation::Nearest); }},
        GoldenCase{"zoom4_cubic", [](OverlayScene& t) { t.Zoom(4, ZoomCentre, TInterpolation::Cubic); }},
        GoldenCase{"zoom8_grid", [](OverlayScene& t) { t.Zoom(8, ZoomCentre, TInterpolation::Nearest); }},
        GoldenCase{"zoom8_cubic", [](OverlayScene& t) { t.Zoom(8, ZoomCentre, TInterpolation::Cubic); }},
        GoldenCase{"pick_hover",
                   [](OverlayScene& t) {
                       t.Zoom(8, ZoomCentre, TInterpolation::Nearest);
                       t.Move(100, 40); // over the window's body: "Ctrl to select", "Color "
                   }},
        GoldenCase{"pick_right_edge",
                   [](OverlayScene& t) {
                       t.Zoom(8, ZoomCentre, TInterpolation::Nearest);
                       t.Move(300, 60); // no room on the right: the panel moves left of the pick
                   }},
        GoldenCase{"pick_bottom_edge",
                   [](OverlayScene& t) {
                       t.Zoom(8, ZoomCentre, TInterpolation::Nearest);
                       t.Move(40, 190); // no room below: the panel moves above the pick
                   }},
        GoldenCase{"pick_dragged",
                   [](OverlayScene& t) {
                       t.Zoom(8, RedCorner, TInterpolation::Nearest);
                       t.Press(Qt::LeftButton, 8, 40, Qt::ControlModifier);
                       t.Move(40, 56, Qt::ControlModifier);
                       t.Release(Qt::LeftButton); // "w 5", "h 3", "Sel color 0000FF"
                   }},
        GoldenCase{"ink6", [](OverlayScene& t) { t.DrawInk(6); }},
        GoldenCase{"ink17", [](OverlayScene& t) { t.DrawInk(17); }}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

// Where the pictures above leave room for doubt, the exact pixels.
TEST_F(OverlayScene, TheDraggedPickLiesOnTheRedSquare) {
    Zoom(8, RedCorner, TInterpolation::Nearest);
    Press(Qt::LeftButton, 8, 40, Qt::ControlModifier);
    Move(40, 56, Qt::ControlModifier);
    Release(Qt::LeftButton);
    EXPECT_EQ(form->PickRect.Normalised(), QRect(211, 40, 5, 3));
    EXPECT_EQ(form->PickedColor, 0x0000FFu);
}

// The zoomed view is drawn straight into a window surface that is a 32-bit image, wherever in the surface
// the box lies, and through its kept frame into other surfaces: the same picture either way, opaque.
TEST_F(OverlayScene, TheZoomedViewDrawnInPlaceIsTheSamePicture) {
    Zoom(8, ZoomCentre, TInterpolation::Nearest);
    Move(100, 40);
    const QImage framed = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // 24-bit surfaces are not written in place: the kept frame is drawn into them.
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        QImage surface(W + 20, H + 12, format);
        surface.fill(Qt::magenta);
        form->CapBox()->render(&surface, QPoint(7, 5));
        const QImage inPlace = surface.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                ASSERT_EQ(QColor(inPlace.pixel(x + 7, y + 5)).name().toStdString(),
                          QColor(framed.pixel(x, y)).name().toStdString())
                    << "at " << x << "," << y;
            }
        }
        EXPECT_EQ(inPlace.pixel(3, 3), QColor(Qt::magenta).rgb()) << "nothing outside the box";
        EXPECT_EQ(inPlace.pixel(W + 10, H + 8), QColor(Qt::magenta).rgb());
        if (format != QImage::Format_ARGB32_Premultiplied) continue;
        int translucent = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                translucent += qAlpha(surface.pixel(x + 7, y + 5)) != 255;
        EXPECT_EQ(translucent, 0) << "the whole view is opaque, bands and panel included";
    }
}

// Every tool, picked by its key and drawn with the mouse (and the text typed through the input method),
// in the confirmed picture at two widths and two palette colours. Where the overlay paints opaque
// (the redactions, the steps) it shows exactly the confirmed picture's pixels.
struct ToolCase {
    const char* name;
    float width;
    int colour;
};

class ToolGolden : public OverlayScene, public ::testing::WithParamInterface<ToolCase> {
  public:
    void Drag(int key, QPoint from, QPoint to, Qt::KeyboardModifiers m = Qt::NoModifier) {
        form->FormKeyDown(key, Qt::NoModifier);
        Press(Qt::RightButton, from.x(), from.y());
        Move(to.x(), to.y(), m);
        Release(Qt::RightButton);
    }
};

TEST_P(ToolGolden, EveryToolLandsInThePictureAsDrawn) {
    const ToolCase& c = GetParam();
    form->FormKeyDown(Qt::Key_0 + c.colour, Qt::NoModifier);
    form->PenWidth.store(c.width);
    form->FormKeyDown(Qt::Key_P, Qt::NoModifier);
    Press(Qt::RightButton, 20, 190);
    Trace({{60, 160}, {110, 185}});
    Release(Qt::RightButton);
    Drag(Qt::Key_A, {20, 20}, {90, 60});
    Drag(Qt::Key_L, {100, 20}, {150, 31}, Qt::ShiftModifier); // kept level
    Drag(Qt::Key_R, {200, 10}, {250, 35});
    Drag(Qt::Key_E, {260, 10}, {310, 45});
    form->FormKeyDown(Qt::Key_M, Qt::NoModifier);
    Press(Qt::RightButton, 40, 62);
    Trace({{140, 62}});
    Release(Qt::RightButton);
    Drag(Qt::Key_B, {40, 100}, {140, 140});
    Drag(Qt::Key_X, {150, 100}, {185, 125});
    Drag(Qt::Key_N, {250, 90}, {250, 90});
    Drag(Qt::Key_N, {290, 95}, {290, 95});
    form->FormKeyDown(Qt::Key_T, Qt::NoModifier);
    Press(Qt::RightButton, 200, 150);
    Release(Qt::RightButton);
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("Ab汉字"));
    QCoreApplication::sendEvent(form, &typed);
    form->FormKeyDown(Qt::Key_Return, Qt::NoModifier);
    Settle();
    form->HelpCardAlpha.store(0);
    const QImage shown = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);

    form->FormKeyDown(Qt::Key_Return, Qt::NoModifier);
    ASSERT_FALSE(owner.flat.Empty());
    const QImage flat = owner.flat.ToQImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(flat.size(), QSize(W, H)) << "Enter keeps the whole desktop";
    CompareWithGolden(flat, std::string("tools_") + c.name);
    for (const QRect& opaque : {QRect(40, 100, 101, 41), QRect(150, 100, 36, 26), QRect(246, 86, 8, 8)})
        for (int y = opaque.top(); y <= opaque.bottom(); ++y)
            for (int x = opaque.left(); x <= opaque.right(); ++x)
                ASSERT_EQ(shown.pixel(x, y), flat.pixel(x, y)) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolGolden,
                         ::testing::Values(ToolCase{"width3_ink", 3, 1}, ToolCase{"width3_blue", 3, 5},
                                           ToolCase{"width10_ink", 10, 1}, ToolCase{"width10_blue", 10, 5}),
                         [](const ::testing::TestParamInfo<ToolCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
