// The capture overlay driven through its handlers: drag modes, zoom, pick colour, undo, the worker's
// cycle, confirming and cancelling.
#include "FakePlatform.h"
#include "Globals.h"
#include "Input.h"
#include "InterfaceLanguage.h"
#include "Sounds.h"
#include "test_input_fakes.h"
#include "ParamName.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QPainter>
#include <QPointer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

class InputFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The tool and colour a user last picked carry over to the next overlay: not between tests.
        LastOverlayTool = TToolKind::Pen;
        LastOverlayColour = 1;
        fake = InstallFakePlatform();
        OverlaySoundHook = [this](const QString& name, unsigned flags) {
            sounds << name;
            soundFlags << flags;
        };
        ResampleMode = TInterpolation::Nearest;
    }
    void TearDown() override {
        if (form && !form->Closed()) form->FormClose();
        FlushDeletes();
        OverlaySoundHook = nullptr;
        InputForm = nullptr;
    }
    TInputForm* Make(int w = 400, int h = 300, QPoint origin = {0, 0}) {
        form = new TInputForm(PatternGrab(w, h, origin), &owner, false);
        form->GetCursorPos = [this](QPoint& p) {
            p = cursor;
            return true;
        };
        form->SetCursorPos = [this](const QPoint& p) {
            cursor = p;
            ++cursorMoves;
        };
        form->Monitors = [this] { return monitors; };
        return form;
    }
    // Lets the worker's animation run to its end and takes the view a paint would.
    void Settle(int cycles = 400) {
        for (int i = 0; i < cycles; ++i)
            form->CatchStep();
        form->TakePaintView();
    }
    void Press(Qt::MouseButton b, int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier) {
        form->CapBoxMouseDown(b, m, x, y);
    }
    void Move(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier) { form->CapBoxMouseMove(m, x, y); }
    void Release(Qt::MouseButton b, int x, int y) { form->CapBoxMouseUp(b, Qt::NoModifier, x, y); }
    // A mouse path the worker follows, a few cycles per step.
    void Trace(const std::vector<QPoint>& path, int cyclesPerPoint = 3) {
        for (const QPoint& p : path) {
            Move(p.x(), p.y());
            for (int i = 0; i < cyclesPerPoint; ++i)
                form->CatchStep();
        }
    }
    size_t ShapeCount() {
        std::lock_guard<std::mutex> lock(form->ShapeLock);
        return form->Shapes.size();
    }

    std::shared_ptr<TFakeState> fake;
    TFakeCaptureOwner owner;
    QPointer<TInputForm> form;
    QPoint cursor{0, 0};
    int cursorMoves = 0;
    QList<QRect> monitors{QRect(0, 0, 400, 300)};
    QStringList sounds;
    QList<unsigned> soundFlags;
};

} // namespace

// --- drag modes ---------------------------------------------------------------------------------

struct TDragCase {
    const char* name;
    int zoom; // target zoom before the press
    bool magnifier;
    Qt::MouseButton button;
    Qt::KeyboardModifiers mods;
    int expectedMode;
    int expectedZoom;
};
class DragModes : public InputFormTest, public ::testing::WithParamInterface<TDragCase> {};

TEST_P(DragModes, PressEntersTheRightMode) {
    const TDragCase& t = GetParam();
    Make();
    form->MagnifierMode = t.magnifier;
    form->SetZoom(t.zoom, false);
    Settle();
    Press(t.button, 100, 100, t.mods);
    EXPECT_EQ(form->DragMode(), t.expectedMode) << t.name;
    EXPECT_EQ(form->TargetZoom, t.expectedZoom) << t.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DragModes,
    ::testing::Values(TDragCase{"normal left", 1, false, Qt::LeftButton, Qt::NoModifier, 1, 1},
                      TDragCase{"normal ctrl left", 1, false, Qt::LeftButton, Qt::ControlModifier, 1, 1},
                      TDragCase{"normal alt left", 1, false, Qt::LeftButton, Qt::AltModifier, -1, 1},
                      TDragCase{"normal right", 1, false, Qt::RightButton, Qt::NoModifier, -1, 1},
                      TDragCase{"normal middle", 1, false, Qt::MiddleButton, Qt::NoModifier, 0, 1},
                      TDragCase{"zoomed left", 4, false, Qt::LeftButton, Qt::NoModifier, -10, 4},
                      TDragCase{"zoomed ctrl left", 4, false, Qt::LeftButton, Qt::ControlModifier, -11, 4},
                      TDragCase{"zoomed right", 4, false, Qt::RightButton, Qt::NoModifier, 0, 1},
                      TDragCase{"magnifier right at 8", 8, true, Qt::RightButton, Qt::NoModifier, 0, 1},
                      TDragCase{"magnifier right at 1", 1, true, Qt::RightButton, Qt::NoModifier, -100, 1},
                      TDragCase{"magnifier left at 1", 1, true, Qt::LeftButton, Qt::NoModifier, -10, 1}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (c == ' ') c = '_';
        return n;
    });

TEST_F(InputFormTest, PressDuringADragIsIgnored) {
    Make();
    Press(Qt::LeftButton, 50, 50);
    Press(Qt::RightButton, 60, 60);
    EXPECT_EQ(form->DragMode(), dmSelection);
    EXPECT_EQ(ShapeCount(), 1u);
}

TEST_F(InputFormTest, CtrlDecidesAtThePressOnly) {
    Make();
    Press(Qt::LeftButton, 50, 50);
    Move(80, 80, Qt::ControlModifier);
    EXPECT_EQ(form->Shapes[0].Kind, skFollowing);
}

TEST_F(InputFormTest, RectangleInkHasItsCornersAtThePress) {
    Make();
    Press(Qt::RightButton, 50, 40, Qt::ControlModifier);
    ASSERT_EQ(ShapeCount(), 2u);
    const CaptureShape& s = form->Shapes[1];
    EXPECT_EQ(s.Kind, skRectangle);
    ASSERT_EQ(s.Points.size(), 4u);
    for (const TPointD& p : s.Points)
        EXPECT_EQ(p, (TPointD{50.5, 40.5}));
    Move(70, 90);
    EXPECT_EQ(s.Points[1], (TPointD{70.5, 40.5}));
    EXPECT_EQ(s.Points[2], (TPointD{70.5, 90.5}));
    EXPECT_EQ(s.Points[3], (TPointD{50.5, 90.5}));
    EXPECT_EQ(s.Bounds, (TShapeBounds{44, 34, 76, 96}));
}

// --- confirming and cancelling ------------------------------------------------------------------------

TEST_F(InputFormTest, ReleasingARectangleSelectionConfirmsExactly) {
    Make();
    Press(Qt::LeftButton, 50, 40, Qt::ControlModifier);
    Move(150, 90);
    Release(Qt::LeftButton, 150, 90);
    EXPECT_EQ(owner.stores, 1);
    EXPECT_EQ(owner.finishes, 1);
    ASSERT_EQ(owner.capture.Width(), 101);
    ASSERT_EQ(owner.capture.Height(), 51);
    EXPECT_EQ(owner.capture.GetPixel(0, 0), PatternPixel(50, 40));
    EXPECT_EQ(owner.capture.GetPixel(100, 50), PatternPixel(150, 90));
    EXPECT_EQ(owner.desktopRect, QRect(50, 40, 101, 51)) << "where it lies on the desktop";
    EXPECT_EQ(owner.pins, 0);
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(sounds.last(), "Click.wav");
    FlushDeletes();
    EXPECT_TRUE(form.isNull()) << "the closed overlay is freed";
}

TEST_F(InputFormTest, TheFKeyConfirmsAndPinsWhereTheCaptureLies) {
    // A desktop whose top-left is off the origin: the place is in desktop coordinates.
    Make(400, 300, QPoint(-400, 120));
    form->FormKeyDown(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(owner.stores, 0) << "only the plain key pins";
    form->FormKeyDown(Qt::Key_F, Qt::NoModifier);
    EXPECT_EQ(owner.stores, 1);
    EXPECT_EQ(owner.pins, 1);
    EXPECT_EQ(owner.finishes, 0) << "pinned instead of the after-capture handling";
    EXPECT_EQ(owner.desktopRect, QRect(-400, 120, 400, 300));
    EXPECT_TRUE(form->Closed());
    FlushDeletes();
    // Asked for at the start (vexmor --capture --pin), any confirmation pins.
    owner = TFakeCaptureOwner{};
    Make();
    form->PinOnConfirm = true;
    form->FormKeyDown(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(owner.pins, 1);
    EXPECT_EQ(owner.finishes, 0);
}

TEST_F(InputFormTest, TwelvePixelRectangleCountsElevenIsAClick) {
    Make();
    Press(Qt::LeftButton, 10, 10, Qt::ControlModifier);
    Move(20, 20);
    Release(Qt::LeftButton, 20, 20);
    EXPECT_EQ(owner.capture.Width(), 400) << "11 pixels: the whole desktop";
    FlushDeletes();
    owner = TFakeCaptureOwner{};
    Make();
    Press(Qt::LeftButton, 10, 10, Qt::ControlModifier);
    Move(21, 21);
    Release(Qt::LeftButton, 21, 21);
    EXPECT_EQ(owner.capture.Width(), 12);
}

TEST_F(InputFormTest, LassoDrawnThroughTheWorkerKeepsAMargin) {
    Make();
    Press(Qt::LeftButton, 100, 100);
    std::vector<QPoint> path;
    for (int i = 0; i <= 20; ++i)
        path.push_back({100 + i * 5, 100});
    for (int i = 0; i <= 20; ++i)
        path.push_back({200, 100 + i * 4});
    for (int i = 0; i <= 20; ++i)
        path.push_back({200 - i * 5, 180});
    Trace(path);
    const TShapeBounds b = form->Shapes[0].Bounds;
    EXPECT_GT(form->Shapes[0].Points.size(), 20u);
    Release(Qt::LeftButton, 100, 180);
    ASSERT_EQ(owner.stores, 1);
    const QRect expected = b.ToRect().adjusted(-32, -32, 32, 32) & QRect(0, 0, 400, 300);
    EXPECT_EQ(owner.capture.Width(), expected.width());
    EXPECT_EQ(owner.capture.Height(), expected.height());
    EXPECT_EQ(owner.capture.GetPixel(0, 0), 0u);
    EXPECT_EQ(owner.origin, QPointF((b.left + b.right) * 0.5 + 2, (b.top + b.bottom) * 0.5 + 4));
}

TEST_F(InputFormTest, KeysConfirmAndCancel) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        owner = TFakeCaptureOwner{};
        Make();
        form->FormKeyDown(key, Qt::NoModifier);
        EXPECT_EQ(owner.stores, 1) << key;
        EXPECT_EQ(owner.capture.Width(), 400);
        FlushDeletes();
    }
    // A confirmed capture lets go of the grab's buffer kept for a quick next one; a cancelled one,
    // likely tried again at once, keeps it.
    EXPECT_EQ(fake->keptReleases, 3);
    owner = TFakeCaptureOwner{};
    Make();
    sounds.clear();
    form->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(owner.stores, 0);
    EXPECT_EQ(sounds, QStringList{"Click.wav"});
    EXPECT_EQ(fake->keptReleases, 3);
}

TEST_F(InputFormTest, RightClickAtMagnifierZoomOneCancelsOnRelease) {
    Make();
    form->MagnifierMode = true;
    Press(Qt::RightButton, 10, 10);
    EXPECT_FALSE(form->Closed());
    Release(Qt::RightButton, 10, 10);
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(owner.stores, 0);
}

TEST_F(InputFormTest, ConfirmingWhileTheOwnerHoldsACaptureDoesNothing) {
    Make();
    owner.held = true;
    form->FinishCapture();
    EXPECT_FALSE(form->Closed());
    EXPECT_EQ(owner.stores, 0);
    owner.held = false;
    form->FormDeactivate(); // deactivation confirms
    EXPECT_EQ(owner.stores, 1);
    EXPECT_TRUE(form->Closed());
}

TEST_F(InputFormTest, ATextCaptureReadsTheMonitorUnderAClickOrTheSelection) {
    // Two monitors on a desktop whose top-left is off the origin; a picture is held and stays.
    monitors = {QRect(-400, 120, 200, 300), QRect(-200, 120, 200, 300)};
    Make(400, 300, QPoint(-400, 120));
    form->TextOnConfirm = true;
    owner.held = true;
    Press(Qt::LeftButton, 300, 100);
    Release(Qt::LeftButton, 300, 100);
    EXPECT_EQ(owner.texts, 1);
    EXPECT_EQ(owner.stores + owner.finishes + owner.discards, 0);
    EXPECT_EQ(owner.desktopRect, QRect(-200, 120, 200, 300));
    ASSERT_EQ(owner.capture.Width(), 200);
    EXPECT_EQ(owner.capture.GetPixel(0, 0), PatternPixel(200, 0));
    EXPECT_TRUE(form->Closed());
    FlushDeletes();
    // O during a rectangle's drag: its release reads the text; with Ctrl, O is no command.
    owner = TFakeCaptureOwner{};
    Make();
    Press(Qt::LeftButton, 50, 40, Qt::ControlModifier);
    Move(150, 90);
    form->FormKeyDown(Qt::Key_O, Qt::ControlModifier);
    EXPECT_FALSE(form->TextOnConfirm);
    form->FormKeyDown(Qt::Key_O, Qt::NoModifier);
    EXPECT_FALSE(form->Closed()) << "the drag goes on";
    Release(Qt::LeftButton, 150, 90);
    EXPECT_EQ(owner.texts, 1);
    EXPECT_EQ(owner.stores, 0);
    EXPECT_EQ(owner.desktopRect, QRect(50, 40, 101, 51));
}

TEST_F(InputFormTest, ConfirmingDuringADragTakesTheSelectionAndInkSoFar) {
    Make();
    Press(Qt::RightButton, 300, 50);
    Trace({{310, 50}, {330, 50}, {350, 50}}, 4);
    Release(Qt::RightButton, 350, 50);
    Press(Qt::LeftButton, 100, 100, Qt::ControlModifier);
    Move(200, 200);
    form->FinishCapture(); // the hot key arrives mid-drag
    ASSERT_EQ(owner.stores, 1);
    EXPECT_GT(owner.capture.Width(), 101) << "the ink left the rectangle";
}

// --- zoom -----------------------------------------------------------------------------------------

struct TZoomCase {
    int start;
    int key;
    Qt::KeyboardModifiers mods;
    int expected;
    const char* sound; // "" for none
};
class ZoomKeys : public InputFormTest, public ::testing::WithParamInterface<TZoomCase> {};

TEST_P(ZoomKeys, KeysSetTheTargetZoom) {
    const TZoomCase& t = GetParam();
    Make();
    form->SetZoom(t.start, false);
    sounds.clear();
    form->FormKeyDown(t.key, t.mods);
    EXPECT_EQ(form->TargetZoom, t.expected);
    EXPECT_EQ(sounds.join(","), QString::fromLatin1(t.sound));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZoomKeys,
    ::testing::Values(TZoomCase{3, Qt::Key_PageDown, Qt::NoModifier, 2, ""}, // 1.5 rounds to 2
                      TZoomCase{5, Qt::Key_PageDown, Qt::NoModifier, 2, ""}, // 2.5 rounds to 2
                      TZoomCase{2, Qt::Key_PageDown, Qt::NoModifier, 1, "ZoomOut.wav"},
                      TZoomCase{1, Qt::Key_PageDown, Qt::NoModifier, 1, ""},
                      TZoomCase{1, Qt::Key_PageUp, Qt::NoModifier, 2, "ZoomIn.wav"},
                      TZoomCase{32, Qt::Key_PageUp, Qt::NoModifier, 32, ""},
                      TZoomCase{1, Qt::Key_Home, Qt::NoModifier, 32, "ZoomIn.wav"},
                      TZoomCase{32, Qt::Key_End, Qt::NoModifier, 1, "ZoomOut.wav"},
                      TZoomCase{1, Qt::Key_Plus, Qt::KeypadModifier, 2, "ZoomIn.wav"},
                      TZoomCase{1, Qt::Key_Plus, Qt::NoModifier, 1, ""},
                      TZoomCase{1, Qt::Key_Minus, Qt::KeypadModifier, 1, ""},
                      TZoomCase{32, Qt::Key_Plus, Qt::KeypadModifier, 32, ""},
                      TZoomCase{4, Qt::Key_Minus, Qt::KeypadModifier, 3, ""}),
    [](const auto& info) {
        const TZoomCase& t = info.param;
        std::string key;
        switch (t.key) {
        case Qt::Key_PageDown:
            key = "PageDown";
            break;
        case Qt::Key_PageUp:
            key = "PageUp";
            break;
        case Qt::Key_Home:
            key = "Home";
            break;
        case Qt::Key_End:
            key = "End";
            break;
        case Qt::Key_Plus:
            key = "Plus";
            break;
        case Qt::Key_Minus:
            key = "Minus";
            break;
        default:
            key = "Key" + NamePart(t.key);
        }
        if (t.mods & Qt::KeypadModifier) key = "Keypad" + key;
        return "Zoom" + NamePart(t.start) + key + "Gives" + NamePart(t.expected);
    });

TEST_F(InputFormTest, HomeThenEndPlaysInThenOut) {
    Make();
    form->FormKeyDown(Qt::Key_Home, Qt::NoModifier);
    form->FormKeyDown(Qt::Key_End, Qt::NoModifier);
    EXPECT_EQ(sounds, (QStringList{"ZoomIn.wav", "ZoomOut.wav"}));
    EXPECT_EQ(form->TargetZoom, 1);
}

TEST_F(InputFormTest, ZoomKeepsThePointUnderTheCursor) {
    Make();
    cursor = {100, 50};
    form->SetZoom(4, false);
    EXPECT_EQ(form->TargetOffset, QPointF(300, 150));
    EXPECT_EQ(cursorMoves, 0);
    Settle();
    EXPECT_EQ(form->ViewZoom, 4.0) << "the animation settles exactly";
    EXPECT_EQ(form->ViewOffset.x(), 300.0);
    EXPECT_EQ(form->ViewOffset.y(), 150.0);
    EXPECT_EQ(form->ImageFromClient(100, 50), QPoint(100, 50));
    form->SetZoom(1, false);
    EXPECT_EQ(form->TargetOffset, QPointF(0, 0));
    Settle();
    EXPECT_EQ(form->ViewZoom, 1.0);
    EXPECT_EQ(form->ViewOffset, QPointF(0, 0));
}

TEST_F(InputFormTest, CentringPutsTheCursorOnItsMonitorsCentre) {
    monitors = {QRect(-400, 0, 400, 300), QRect(0, 0, 400, 300)};
    Make(800, 300, QPoint(-400, 0));
    cursor = {-300, 50}; // client (100, 50) on the left monitor
    form->SetZoom(8, true);
    EXPECT_EQ(cursor, QPoint(-200, 150));
    // Client (100, 50) scaled by 8, less the centre's client point (200, 150).
    EXPECT_EQ(form->TargetOffset, QPointF(8 * 100 - 200, 8 * 50 - 150));
}

// The worker steps the view while the pointer is asked for and moved: the point that was under the
// pointer still ends up under the monitor's centre, on one monitor and on either of two side by side.
TEST_F(InputFormTest, TheMagnifierCentresThePointThatWasUnderThePointer) {
    struct Case {
        const char* name;
        QList<QRect> monitors;
        QSize desktop;
        QPoint pointer, centre;
    };
    const Case cases[] = {
        {"one monitor", {QRect(0, 0, 1280, 800)}, {1280, 800}, {900, 600}, {640, 400}},
        {"left of two",
         {QRect(0, 0, 1280, 800), QRect(1280, 0, 1920, 1080)},
         {3200, 1080},
         {300, 700},
         {640, 400}},
        {"right of two",
         {QRect(0, 0, 1280, 800), QRect(1280, 0, 1920, 1080)},
         {3200, 1080},
         {3000, 100},
         {2240, 540}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (form) form->FormClose();
        FlushDeletes();
        monitors = c.monitors;
        Make(c.desktop.width(), c.desktop.height());
        form->MagnifierMode = true;
        form->SetCursorPos = [this](const QPoint& p) {
            for (int i = 0; i < 5; ++i)
                form->CatchStep(); // the worker, meanwhile
            cursor = p;
        };
        cursor = c.pointer;
        form->SetZoom(8, true);
        EXPECT_EQ(cursor, c.centre);
        Settle();
        EXPECT_EQ(form->ImageFromClient(c.centre.x(), c.centre.y()), c.pointer);
    }
}

TEST_F(InputFormTest, LeavingTheZoomedViewClearsThePick) {
    Make();
    form->SetZoom(4, false);
    Settle();
    Move(40, 40);
    EXPECT_FALSE(form->PickRect.None());
    EXPECT_EQ(form->cursor().shape(), Qt::SizeAllCursor);
    form->SetZoom(1, false);
    EXPECT_TRUE(form->PickRect.None());
    EXPECT_EQ(form->cursor().shape(), Qt::CrossCursor);
}

TEST_F(InputFormTest, WheelSetsThePenOrZooms) {
    Make();
    form->FormMouseWheel(120, Qt::NoModifier);
    EXPECT_NEAR(form->PenWidth.load(), 6.6f, 1e-5);
    for (int i = 0; i < 30; ++i)
        form->FormMouseWheel(120, Qt::NoModifier);
    EXPECT_EQ(form->PenWidth.load(), 17.0f);
    for (int i = 0; i < 40; ++i)
        form->FormMouseWheel(-120, Qt::NoModifier);
    EXPECT_EQ(form->PenWidth.load(), 1.0f);
    form->FormMouseWheel(120, Qt::ControlModifier);
    EXPECT_EQ(form->TargetZoom, 2);
    form->FormMouseWheel(120, Qt::NoModifier); // zoomed: the wheel zooms
    EXPECT_EQ(form->TargetZoom, 3);
    EXPECT_EQ(form->PenWidth.load(), 1.0f);
    for (int i = 0; i < 50; ++i)
        form->FormMouseWheel(120, Qt::NoModifier);
    EXPECT_EQ(form->TargetZoom, 32);
}

TEST_F(InputFormTest, MiddleButtonTogglesTheResampling) {
    Make();
    form->SetZoom(4, false);
    Press(Qt::MiddleButton, 10, 10);
    EXPECT_EQ(ResampleMode, TInterpolation::Cubic);
    Release(Qt::MiddleButton, 10, 10);
    Press(Qt::MiddleButton, 10, 10);
    EXPECT_EQ(ResampleMode, TInterpolation::Nearest);
    ResampleMode = TInterpolation::Linear;
    Release(Qt::MiddleButton, 10, 10);
    Press(Qt::MiddleButton, 10, 10);
    EXPECT_EQ(ResampleMode, TInterpolation::Cubic);
}

// --- pick colour --------------------------------------------------------------------------------

TEST_F(InputFormTest, HoverPicksThePixelAndCopiesItsHex) {
    Make();
    form->SetZoom(4, false); // cursor at (0, 0): no offset
    Settle();
    QGuiApplication::clipboard()->setText("x");
    Move(4 * 10 + 1, 4 * 20 + 3);
    EXPECT_EQ(form->PickRect, (TPickRect{10, 20, 10, 20}));
    // Red 30, green 20, blue 10 as 0x00BBGGRR; the text is blue, green, red.
    EXPECT_EQ(form->PickedColor, 0x0A141Eu);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0A141E");
    // Another pixel of the same colour does not copy again.
    QGuiApplication::clipboard()->setText("x");
    Move(4 * 266, 4 * 20);
    EXPECT_EQ(form->PickRect, (TPickRect{266, 20, 266, 20}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "x");
}

TEST_F(InputFormTest, PureRedReadsBlueFirst) {
    Make();
    uint8_t* p = form->DesktopImage.PixelPtr(5, 5);
    p[0] = 0, p[1] = 0, p[2] = 255;
    form->SetZoom(2, false);
    Settle();
    Move(10, 10);
    EXPECT_EQ(form->PickedColor, 0x0000FFu);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0000FF");
}

TEST_F(InputFormTest, PickDragEitherWayGivesTheSameRectangleAndSounds) {
    Make();
    form->SetZoom(2, false);
    Settle();
    Press(Qt::LeftButton, 60, 60, Qt::ControlModifier);
    EXPECT_EQ(sounds.last(), "Blip.wav");
    EXPECT_EQ(soundFlags.last(), SND_NOSTOP);
    Move(40, 50);
    Release(Qt::LeftButton, 40, 50);
    EXPECT_EQ(sounds.last(), "DoubleBlip.wav");
    const QRect a = form->PickRect.Normalised();
    EXPECT_EQ(a, QRect(20, 25, 11, 6));
    Press(Qt::LeftButton, 40, 50, Qt::ControlModifier);
    Move(60, 60);
    Release(Qt::LeftButton, 60, 60);
    EXPECT_EQ(form->PickRect.Normalised(), a);
    // The averages round halves to even: blue 25, green 27.5 -> 28, red 52.5 -> 52.
    EXPECT_EQ(form->PickedColor, uint32_t(52 + 28 * 256 + 25 * 65536));
}

TEST_F(InputFormTest, PickDragOfOnePixelIsSilentOnRelease) {
    Make();
    form->SetZoom(2, false);
    Settle();
    Press(Qt::LeftButton, 60, 60, Qt::ControlModifier);
    sounds.clear();
    Release(Qt::LeftButton, 60, 60);
    EXPECT_TRUE(sounds.isEmpty());
}

TEST_F(InputFormTest, ArrowsAndCornerKeysMoveThePick) {
    Make();
    form->FormKeyDown(Qt::Key_Right, Qt::NoModifier);
    EXPECT_TRUE(form->PickRect.None()) << "no pick in the normal view";
    form->SetZoom(4, false);
    Settle();
    Move(40, 40); // pixel (10, 10)
    form->FormKeyDown(Qt::Key_Right, Qt::NoModifier);
    form->FormKeyDown(Qt::Key_Down, Qt::NoModifier);
    form->FormKeyDown(Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(form->PickRect, (TPickRect{10, 10, 11, 12}));
    cursor = {4 * 5, 4 * 6};
    form->FormKeyDown(Qt::Key_7, Qt::KeypadModifier);
    EXPECT_EQ(form->PickRect, (TPickRect{5, 6, 11, 12}));
    cursor = {4 * 30, 4 * 31};
    form->FormKeyDown(Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(form->PickRect, (TPickRect{5, 6, 30, 31}));
    form->FormKeyDown(Qt::Key_7, Qt::NoModifier); // the top-row 7 is not the keypad's
    EXPECT_EQ(form->PickRect, (TPickRect{5, 6, 30, 31}));
}

// --- undo -------------------------------------------------------------------------------------------

TEST_F(InputFormTest, BackspaceUndoesStrokesButNeverTheSelection) {
    Make();
    for (int i = 0; i < 3; ++i) {
        Press(Qt::RightButton, 20 + i * 30, 20);
        Release(Qt::RightButton, 20 + i * 30, 20);
    }
    EXPECT_EQ(ShapeCount(), 4u);
    for (int i = 0; i < 4; ++i)
        form->FormKeyDown(i % 2 ? Qt::Key_Delete : Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(ShapeCount(), 1u);
}

TEST_F(InputFormTest, UndoDuringAnInkDragLeavesTheRemovedStrokeAlone) {
    Make();
    Press(Qt::RightButton, 50, 50);
    Trace({{80, 50}, {120, 50}}, 5);
    form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(ShapeCount(), 1u);
    EXPECT_EQ(form->ActiveShape, -1);
    Trace({{150, 60}, {180, 70}}, 5);
    Release(Qt::RightButton, 180, 70);
    EXPECT_EQ(ShapeCount(), 1u);
    // The same for a rectangle being dragged.
    Press(Qt::RightButton, 50, 50, Qt::ControlModifier);
    form->FormKeyDown(Qt::Key_Delete, Qt::NoModifier);
    Move(90, 90);
    Release(Qt::RightButton, 90, 90);
    EXPECT_EQ(ShapeCount(), 1u);
    // A new stroke afterwards works normally.
    Press(Qt::RightButton, 10, 10);
    Trace({{60, 10}}, 10);
    Release(Qt::RightButton, 60, 10);
    EXPECT_EQ(ShapeCount(), 2u);
    EXPECT_FALSE(form->Shapes[1].Points.empty());
}

// --- the worker's cycle ------------------------------------------------------------------------

TEST_F(InputFormTest, ARightClickLeavesOnePointAfterRelease) {
    Make();
    Press(Qt::RightButton, 70, 80);
    form->CatchStep();
    EXPECT_TRUE(form->Shapes[1].Points.empty()) << "a pen resting on the mouse adds nothing";
    Release(Qt::RightButton, 70, 80);
    form->CatchStep();
    EXPECT_EQ(form->Shapes[1].Kind, skFinished);
    ASSERT_EQ(form->Shapes[1].Points.size(), 1u);
    EXPECT_EQ(form->Shapes[1].Points[0], (TPointD{70.5, 80.5}));
    EXPECT_EQ(form->Shapes[1].Bounds, (TShapeBounds{64, 74, 76, 86})) << "70.5 rounds to 70, margin 6";
}

TEST_F(InputFormTest, StrokeCatchesUpAfterRelease) {
    Make();
    Press(Qt::RightButton, 50, 50);
    Move(150, 50);
    form->CatchStep();
    const CaptureShape& s = form->Shapes[1];
    EXPECT_EQ(s.Points.size(), 1u);
    EXPECT_GT(s.Pen.x, 50.5);
    EXPECT_LT(s.Pen.x, 150.5);
    Release(Qt::RightButton, 150, 50);
    int cycles = 0;
    while (s.Kind == skFollowing && cycles < 200) {
        form->CatchStep();
        ++cycles;
    }
    EXPECT_EQ(s.Kind, skFinished);
    EXPECT_LT(cycles, 40);
    EXPECT_NEAR(s.Points.back().x, 150.5, 0.25);
    EXPECT_EQ(s.Bounds.right, 156) << "the pen stays below 150.5, which rounds to 150";
    for (size_t i = 1; i < s.Points.size(); ++i)
        EXPECT_GE(s.Points[i].x, s.Points[i - 1].x);
}

TEST_F(InputFormTest, HelpCardFadesOverFiftyCycles) {
    Make();
    EXPECT_EQ(form->HelpCardRect, QRect(400 - 183 - 16, (300 - 224) / 2, 183, 224));
    form->CatchStep();
    EXPECT_EQ(form->HelpCardAlpha.load(), 255) << "no fade before the first press";
    Move(form->HelpCardRect.left() + 5, form->HelpCardRect.top() + 5);
    EXPECT_EQ(form->HelpCardFade.load(), 0);
    form->CatchStep();
    EXPECT_EQ(form->HelpCardAlpha.load(), 236);
    for (int i = 1; i < 49; ++i)
        form->CatchStep();
    EXPECT_GT(form->HelpCardAlpha.load(), 0);
    form->CatchStep();
    EXPECT_EQ(form->HelpCardAlpha.load(), 0);
    EXPECT_EQ(form->TickCount.load(), 51);
}

TEST_F(InputFormTest, HelpCardSitsAtTheRightOfTheWholeDesktop) {
    Make(3200, 1080, QPoint(0, 0));
    EXPECT_EQ(form->HelpCardRect.topLeft(), QPoint(3200 - 16 - 183, 428));
}

// --- the worker thread running for real -------------------------------------------------------

TEST_F(InputFormTest, WorkerThreadRunsBesideTheHandlers) {
    form = new TInputForm(PatternGrab(400, 300), &owner, true);
    form->GetCursorPos = [this](QPoint& p) {
        p = cursor;
        return true;
    };
    form->Monitors = [this] { return monitors; };
    form->resize(400, 300);
    form->CapBox()->resize(400, 300);
    form->show();
    ASSERT_TRUE(form->WorkerRunning());
    auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    for (int round = 0; round < 3; ++round) {
        Press(Qt::RightButton, 20, 20 + round * 30);
        for (int i = 0; i < 40; ++i) {
            Move(20 + i * 8, 20 + round * 30 + (i % 5));
            if (i % 7 == 0) form->FormMouseWheel(120, Qt::NoModifier);
            pump();
            QThread::msleep(1);
        }
        Release(Qt::RightButton, 340, 20);
        if (round == 1) form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
        form->repaint();
    }
    form->SetZoom(4, false);
    for (int i = 0; i < 20; ++i) {
        Move(100 + i, 100);
        pump();
        QThread::msleep(2);
    }
    form->repaint();
    form->SetZoom(1, false);
    Press(Qt::LeftButton, 50, 50);
    for (int i = 0; i < 30; ++i) {
        Move(50 + i * 5, 50 + i * 3);
        pump();
        QThread::msleep(2);
    }
    Release(Qt::LeftButton, 200, 140);
    EXPECT_EQ(owner.stores, 1);
    EXPECT_FALSE(form->WorkerRunning());
    EXPECT_GT(form->TickCount.load(), 5);
}

// --- starting ---------------------------------------------------------------------------------------

namespace {
QImage PatternImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, PatternPixel(x, y));
    return img;
}
} // namespace

TEST_F(InputFormTest, StartCaptureOpensOneOverlay) {
    fake->monitors = {QRect(0, 0, 640, 480)};
    fake->desktopImage = PatternImage(640, 480);
    fake->foreground.exists = true;
    fake->foreground.title = QStringLiteral("记事本 - notes.txt");
    fake->foreground.location = QStringLiteral("/home/user");
    fake->foreground.frame = QRect(10, 10, 300, 200);
    StartCapture(TCaptureMode::Desktop, &owner);
    ASSERT_NE(InputForm, nullptr);
    form = InputForm;
    EXPECT_EQ(owner.discards, 1);
    EXPECT_EQ(owner.hides, 1);
    EXPECT_EQ(owner.title, QStringLiteral("记事本 - notes.txt"));
    EXPECT_EQ(owner.comment, QStringLiteral("/home/user"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("屏幕捕获覆盖"));
    EXPECT_TRUE(sounds.isEmpty()) << "the start's sound waits for the first frame";
    // The grabbed rows are shown first and narrowed into the picture afterwards.
    EXPECT_TRUE(form->DesktopPending());
    const QImage first = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCoreApplication::processEvents();
    EXPECT_EQ(sounds, QStringList{"Cap.wav"});
    form->WaitForDesktop();
    EXPECT_FALSE(form->DesktopPending());
    EXPECT_EQ(form->DesktopImage.GetPixel(123, 45), PatternPixel(123, 45));
    const QImage later = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(first, later) << "the rows and the picture paint the same view";
    StartCapture(TCaptureMode::Desktop, &owner);
    EXPECT_EQ(InputForm, form.data()) << "a running capture is not replaced";
    EXPECT_EQ(owner.discards, 1);
    form->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(InputForm, nullptr);
    FlushDeletes();
    EXPECT_TRUE(form.isNull());
}

// The X server draws the first frame into the mapped window while the program paints it: the same
// tint over the grabbed rows, and the help card region exactly as the first paint has it, also where
// the card reaches past a small desktop. The magnifier's zoomed first frame is not the server's.
TEST_F(InputFormTest, TheServerDrawsTheFirstFrameAsItIsPainted) {
    fake->offersBackdrop = true;
    for (const QSize size : {QSize(640, 480), QSize(150, 120)}) {
        SCOPED_TRACE(size.width());
        fake->backdrops.clear();
        fake->backdropWindows.clear();
        fake->monitors = {QRect(QPoint(0, 0), size)};
        fake->desktopImage = PatternImage(size.width(), size.height());
        StartCapture(TCaptureMode::Desktop, &owner);
        ASSERT_NE(InputForm, nullptr);
        form = InputForm;
        ASSERT_EQ(fake->backdrops.size(), 1);
        EXPECT_EQ(fake->backdropWindows[0], quintptr(form->winId()));
        const TBackdrop& b = fake->backdrops[0];
        EXPECT_EQ(b.tint, 0x57092236u);
        const QRect card = form->HelpCardRect & QRect(QPoint(0, 0), size);
        ASSERT_FALSE(card.isEmpty());
        // The help card, and the tool strip where the desktop has room for it.
        std::vector<QRect> parts{card};
        if (form->Strip.Shown()) parts.push_back(form->Strip.Rect());
        ASSERT_EQ(b.patches.size(), parts.size());
        const QImage first = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(QRect(b.patches[i].at, b.patches[i].image.size()), parts[i]);
            EXPECT_EQ(b.patches[i].image.convertToFormat(QImage::Format_RGB32), first.copy(parts[i]));
        }
        form->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
        FlushDeletes();
    }
}

// The magnifier starts unmagnified: the server shows the rows untinted, the pick display (the pixel
// under the pointer, put on the monitor's centre) patched over them as the first paint has it.
TEST_F(InputFormTest, TheServerDrawsTheMagnifiersFirstFrameAsItIsPainted) {
    fake->offersBackdrop = true;
    fake->monitors = {QRect(0, 0, 640, 480)};
    fake->desktopImage = PatternImage(640, 480);
    // Without the worker the view stays where the server drew it, the pulse's phase too.
    OverlayWorkerRuns = false;
    StartCapture(TCaptureMode::Magnifier, &owner);
    OverlayWorkerRuns = true;
    ASSERT_NE(InputForm, nullptr);
    form = InputForm;
    EXPECT_TRUE(form->DesktopPending()) << "picking at the start needs no picture yet";
    EXPECT_EQ(form->PickRect, (TPickRect{320, 240, 320, 240}));
    ASSERT_EQ(fake->backdrops.size(), 1);
    const TBackdrop& b = fake->backdrops[0];
    EXPECT_EQ(b.tint, 0u);
    ASSERT_EQ(b.patches.size(), 6) << "four bands, the pick, the panel";
    const QImage first = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage server = fake->desktopImage.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&server);
        for (const TBackdropPatch& patch : b.patches)
            p.drawImage(patch.at, patch.image);
    }
    EXPECT_EQ(server, first);
    EXPECT_NE(first.pixel(320, 10), fake->desktopImage.pixel(320, 10))
        << "a band runs through the pick's column";
}

TEST_F(InputFormTest, StartCaptureInModeTwoMagnifies) {
    fake->monitors = {QRect(0, 0, 640, 480)};
    fake->desktopImage = PatternImage(640, 480);
    fake->foreground.isDesktop = true;
    owner.autoTitle = true;
    StartCapture(TCaptureMode::Magnifier, &owner);
    ASSERT_NE(InputForm, nullptr);
    form = InputForm;
    EXPECT_TRUE(form->MagnifierMode);
    EXPECT_EQ(form->TargetZoom, 8);
    form->CapBox()->grab();
    QCoreApplication::processEvents();
    EXPECT_EQ(sounds, QStringList{"ZoomIn.wav"});
    EXPECT_EQ(owner.title, QString()) << "the bare desktop gives no file name";
}

TEST_F(InputFormTest, AutomaticTextsOffLeaveBothEmpty) {
    fake->desktopImage = PatternImage(1920, 1080);
    fake->foreground.exists = true;
    fake->foreground.title = QStringLiteral("Editor");
    owner.autoTitle = false;
    StartCapture(TCaptureMode::Desktop, &owner);
    form = InputForm;
    EXPECT_EQ(owner.title, QString());
    EXPECT_EQ(owner.comment, QString());
}

// A grab that reads nothing from the screen ends the capture with the reason instead of an overlay
// showing a black desktop.
TEST_F(InputFormTest, AFailedGrabIsToldAndOpensNoOverlay) {
    fake->monitors = {QRect(0, 0, 320, 200)};
    fake->desktopImage = QImage(); // the fake's grab fails
    QStringList told;
    CaptureFailedHook = [&](const QString& text) { told << text; };
    StartCapture(TCaptureMode::Desktop, &owner);
    CaptureFailedHook = nullptr;
    EXPECT_EQ(InputForm, nullptr);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith(QStringLiteral("无法捕获屏幕："))) << told[0].toStdString();
    EXPECT_EQ(owner.discards, 0) << "the capture held so far stays";
    EXPECT_EQ(owner.hides, 0);
}

// The message names the reason after the words of the language shown, the Chinese ones as written.
TEST_F(InputFormTest, AFailedGrabIsToldInTheInterfaceLanguage) {
    fake->monitors = {QRect(0, 0, 320, 200)};
    fake->desktopImage = QImage();
    QStringList told;
    CaptureFailedHook = [&](const QString& text) { told << text; };
    {
        TEnglishInterface english;
        ASSERT_TRUE(english.Shown());
        StartCapture(TCaptureMode::Desktop, &owner);
    }
    StartCapture(TCaptureMode::Desktop, &owner);
    CaptureFailedHook = nullptr;
    EXPECT_EQ(InputForm, nullptr);
    EXPECT_EQ(told, QStringList({QStringLiteral("Cannot capture the screen: nothing to grab"),
                                 QStringLiteral("无法捕获屏幕：nothing to grab")}));
}

// On an output at a fractional scale the framework reports the compositor's rounded-up buffer scale
// (2 on a 1.25 or 1.5 output); the overlay's window takes its monitor's device pixels per logical one,
// and the pixel under a point is the one its position times that scale falls into.
TEST_F(InputFormTest, AWindowOnAFractionalOutputMapsPointsByTheOutputsScale) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QSize logical = screen->geometry().size();
    struct TCase {
        double scale;
        QPointF from, to; // the drag, in the window's logical coordinates (the last point inside)
        QRect pixels;     // the device pixels it keeps
    };
    const TCase cases[] = {
        {1.25, {20, 30}, {119, 79}, QRect(QPoint(25, 37), QPoint(148, 98))},
        {1.25, {3, 4}, {43, 44}, QRect(QPoint(3, 5), QPoint(53, 55))}, // 3.75 is pixel 3, 5.0 pixel 5
        {1.5, {21, 1}, {120, 61}, QRect(QPoint(31, 1), QPoint(180, 91))},
        {1.5,
         {0, 0},
         {logical.width() - 0.5, 40},
         QRect(QPoint(0, 0), QPoint(int(logical.width() * 1.5) - 1, 60))},
        {2, {10.5, 20.25}, {110, 70}, QRect(QPoint(21, 40), QPoint(220, 140))},
        {1, {20, 30}, {119, 79}, QRect(QPoint(20, 30), QPoint(119, 79))},
    };
    fake->placesWindows = false;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " from " << c.from.x() << "," << c.from.y());
        const QSize device(int(logical.width() * c.scale), int(logical.height() * c.scale));
        fake->monitors = {QRect(QPoint(0, 0), device)};
        fake->namedMonitors = {{screen->name(), fake->monitors.front()}};
        fake->desktopImage = PatternImage(device.width(), device.height());
        owner.stores = 0;
        StartCapture(TCaptureMode::Desktop, &owner);
        ASSERT_NE(InputForm, nullptr);
        form = InputForm;
        ASSERT_EQ(form->Views().size(), 1u);
        EXPECT_DOUBLE_EQ(form->Views().front().scale, c.scale);
        const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
            QMouseEvent e(type, at, form->CapBox()->mapToGlobal(at), Qt::LeftButton, buttons,
                          Qt::ControlModifier);
            QCoreApplication::sendEvent(form->CapBox(), &e);
        };
        send(QEvent::MouseButtonPress, c.from, Qt::LeftButton);
        send(QEvent::MouseMove, (c.from + c.to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, c.to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, c.to, Qt::NoButton);
        ASSERT_EQ(owner.stores, 1);
        ASSERT_EQ(QSize(owner.capture.Width(), owner.capture.Height()), c.pixels.size());
        EXPECT_EQ(owner.capture.GetPixel(0, 0) & 0xFFFFFF,
                  PatternPixel(c.pixels.left(), c.pixels.top()) & 0xFFFFFF);
        EXPECT_EQ(owner.capture.GetPixel(c.pixels.width() - 1, c.pixels.height() - 1) & 0xFFFFFF,
                  PatternPixel(c.pixels.right(), c.pixels.bottom()) & 0xFFFFFF);
        FlushDeletes();
    }
    fake->namedMonitors.clear();
}

// Where the compositor places every window, the overlay goes full screen on each screen as a view of
// its own: its pixels and its clicks are the same as the one window's over the whole desktop.
TEST_F(InputFormTest, AWindowPerScreenShowsAndTakesWhatTheOneWindowDoes) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    fake->monitors = {QRect(QPoint(0, 0), screen.size())};
    fake->desktopImage = PatternImage(screen.width(), screen.height());
    QImage placed;
    for (const bool places : {true, false}) {
        SCOPED_TRACE(places);
        fake->placesWindows = places;
        StartCapture(TCaptureMode::Desktop, &owner);
        ASSERT_NE(InputForm, nullptr);
        form = InputForm;
        if (places) {
            EXPECT_TRUE(form->Views().empty());
            placed = form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            form->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
            FlushDeletes();
            continue;
        }
        ASSERT_EQ(form->Views().size(), 1u);
        const auto& view = form->Views().front();
        EXPECT_EQ(view.box, form->CapBox());
        EXPECT_EQ(view.origin, QPoint(0, 0));
        EXPECT_EQ(view.logical, screen);
        EXPECT_EQ(form->CapBox()->grab().toImage().convertToFormat(QImage::Format_RGB32), placed);
        // A Ctrl drag through the box's own mouse events is the rectangle of the same pixels.
        const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
            QMouseEvent e(type, at, form->CapBox()->mapToGlobal(at), Qt::LeftButton, buttons,
                          Qt::ControlModifier);
            QCoreApplication::sendEvent(form->CapBox(), &e);
        };
        send(QEvent::MouseButtonPress, QPointF(20, 30), Qt::LeftButton);
        send(QEvent::MouseMove, QPointF(60, 50), Qt::LeftButton);
        send(QEvent::MouseMove, QPointF(119, 79), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPointF(119, 79), Qt::NoButton);
        ASSERT_EQ(owner.stores, 1);
        ASSERT_EQ(owner.capture.Width(), 100);
        ASSERT_EQ(owner.capture.Height(), 50);
        EXPECT_EQ(owner.capture.GetPixel(0, 0) & 0xFFFFFF, PatternPixel(20, 30) & 0xFFFFFF);
        EXPECT_EQ(owner.capture.GetPixel(99, 49) & 0xFFFFFF, PatternPixel(119, 79) & 0xFFFFFF);
        FlushDeletes();
    }
}

// --- annotation tools -----------------------------------------------------------------------------

// The text box: the input method's composition shows but is not yet text, its commit is; typed keys go
// into the box (no tool key, Space or Enter acts meanwhile), Shift+Enter breaks the line, Backspace takes
// one character, Esc ends the box and not the capture. An empty box goes; a press elsewhere only ends it.
TEST_F(InputFormTest, TheTextBoxTakesTheKeysAndTheInputMethod) {
    Make();
    form->FormKeyDown(Qt::Key_T, Qt::NoModifier);
    Press(Qt::RightButton, 50, 60);
    Release(Qt::RightButton, 50, 60);
    ASSERT_TRUE(form->TextBoxOpen());
    EXPECT_TRUE(static_cast<QWidget*>(form.data())->inputMethodQuery(Qt::ImEnabled).toBool());
    QInputMethodEvent composing(QStringLiteral("hanzi"), {});
    QCoreApplication::sendEvent(form, &composing);
    EXPECT_EQ(form->Preedit, QStringLiteral("hanzi"));
    EXPECT_TRUE(form->Shapes[1].Text.isEmpty());
    QInputMethodEvent committed;
    committed.setCommitString(QStringLiteral("汉字"));
    QCoreApplication::sendEvent(form, &committed);
    form->FormKeyDown(Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    form->FormKeyDown(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    form->FormKeyDown(Qt::Key_Return, Qt::ShiftModifier);
    form->FormKeyDown(Qt::Key_O, Qt::NoModifier, QStringLiteral("o"));
    form->FormKeyDown(Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(form->CurrentTool, TToolKind::Text);
    EXPECT_EQ(owner.finishes, 0);
    form->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(form->TextBoxOpen());
    EXPECT_FALSE(form->Closed());
    ASSERT_EQ(ShapeCount(), 2u);
    EXPECT_EQ(form->Shapes[1].Text, QStringLiteral("汉字a \no"));
    EXPECT_TRUE(form->Shapes[1].Bounds.IsSet());

    Press(Qt::RightButton, 200, 200);
    Release(Qt::RightButton, 200, 200);
    ASSERT_TRUE(form->TextBoxOpen());
    Press(Qt::LeftButton, 300, 100);
    EXPECT_FALSE(form->TextBoxOpen());
    EXPECT_EQ(form->DragMode(), dmIdle) << "the press only ended the box";
    EXPECT_EQ(ShapeCount(), 2u) << "the empty box went";
    form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(ShapeCount(), 1u) << "the undo took the text, not the empty box";
}

// One history for every change: Ctrl+Z and Backspace take back the latest shape, move or deletion,
// Ctrl+Y and Ctrl+Shift+Z do it again, a new shape ends what could be done again; the middle button
// drags an annotation and D deletes the one under the pointer; a tool's click without a drag leaves
// nothing to undo.
TEST_F(InputFormTest, UndoRedoMoveAndDeleteShareOneHistory) {
    Make();
    form->FormKeyDown(Qt::Key_N, Qt::NoModifier);
    for (int x : {50, 100, 150}) {
        Press(Qt::RightButton, x, 50);
        Release(Qt::RightButton, x, 50);
    }
    ASSERT_EQ(ShapeCount(), 4u);
    form->FormKeyDown(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ShapeCount(), 3u);
    form->FormKeyDown(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(ShapeCount(), 4u);

    Press(Qt::MiddleButton, 102, 52);
    Move(102, 122);
    Release(Qt::MiddleButton, 102, 122);
    EXPECT_EQ(form->Shapes[2].Points[0], (TPointD{100.5, 120.5}));
    form->FormKeyDown(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(form->Shapes[2].Points[0], (TPointD{100.5, 50.5})) << "the move was the latest change";
    form->FormKeyDown(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Shapes[2].Points[0], (TPointD{100.5, 120.5}));

    cursor = {150, 50};
    form->FormKeyDown(Qt::Key_D, Qt::NoModifier);
    ASSERT_EQ(ShapeCount(), 3u);
    form->FormKeyDown(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(ShapeCount(), 4u);
    EXPECT_EQ(form->Shapes[3].Points[0], (TPointD{150.5, 50.5})) << "back in its place";

    form->FormKeyDown(Qt::Key_A, Qt::NoModifier);
    Press(Qt::RightButton, 300, 200);
    Release(Qt::RightButton, 300, 200);
    EXPECT_EQ(ShapeCount(), 4u) << "an arrow needs a drag";
    form->FormKeyDown(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(ShapeCount(), 4u);
    EXPECT_EQ(form->Shapes[2].Points[0], (TPointD{100.5, 50.5})) << "the click left no change to undo";
    Press(Qt::RightButton, 300, 200);
    Move(350, 250);
    Release(Qt::RightButton, 350, 250);
    form->FormKeyDown(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(form->Shapes[2].Points[0], (TPointD{100.5, 50.5})) << "the new arrow ended the redo";
    ASSERT_EQ(ShapeCount(), 5u);
    EXPECT_EQ(form->Shapes[4].Tool, TToolKind::Arrow);
}

// Shift keeps lines and arrows at multiples of 45 degrees, rectangles square and ellipses round.
struct TConstrainCase {
    const char* name;
    int key;
    QPoint to;
    TPointD end; // the shape's second point with Shift
};

class ConstrainedDrag : public InputFormTest, public ::testing::WithParamInterface<TConstrainCase> {};

TEST_P(ConstrainedDrag, ShiftSnapsTheShape) {
    const TConstrainCase& c = GetParam();
    Make();
    form->FormKeyDown(c.key, Qt::NoModifier);
    for (const bool shift : {false, true}) {
        Press(Qt::RightButton, 100, 100);
        Move(c.to.x(), c.to.y(), shift ? Qt::ShiftModifier : Qt::NoModifier);
        Release(Qt::RightButton, c.to.x(), c.to.y());
        const TPointD end = form->Shapes.back().Points[1];
        const TPointD expected = shift ? c.end : TPointD{c.to.x() + 0.5, c.to.y() + 0.5};
        EXPECT_NEAR(end.x, expected.x, 1e-9) << "shift " << shift;
        EXPECT_NEAR(end.y, expected.y, 1e-9) << "shift " << shift;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ConstrainedDrag,
    ::testing::Values(TConstrainCase{"LineLevel", Qt::Key_L, {150, 120}, {100.5 + std::hypot(50, 20), 100.5}},
                      TConstrainCase{
                          "ArrowDiagonal",
                          Qt::Key_A,
                          {141, 58},
                          {100.5 + std::hypot(41, 42) / M_SQRT2, 100.5 - std::hypot(41, 42) / M_SQRT2}},
                      TConstrainCase{"RectangleSquare", Qt::Key_R, {150, 120}, {150.5, 150.5}},
                      TConstrainCase{"EllipseRound", Qt::Key_E, {70, 140}, {60.5, 140.5}}),
    [](const ::testing::TestParamInfo<TConstrainCase>& info) { return std::string(info.param.name); });

// The strip picks tools and colours with a click that starts nothing else, never covers the help card,
// and what it picked is where the next overlay starts.
TEST_F(InputFormTest, TheStripPicksWithoutStartingASelection) {
    monitors = {QRect(0, 0, 800, 600)};
    Make(800, 600);
    form->PlaceStrip();
    ASSERT_TRUE(form->Strip.Shown());
    EXPECT_FALSE(form->Strip.Rect().intersects(form->HelpCardRect));
    const QPoint arrow = form->Strip.ToolButton(1).center(), yellow = form->Strip.Swatch(3).center();
    for (const QPoint p : {arrow, yellow}) {
        Press(Qt::LeftButton, p.x(), p.y());
        EXPECT_EQ(form->DragMode(), dmIdle);
        Release(Qt::LeftButton, p.x(), p.y());
    }
    EXPECT_EQ(owner.finishes, 0);
    EXPECT_TRUE(form->Shapes[0].Points.empty());
    EXPECT_EQ(form->CurrentTool, TToolKind::Arrow);
    EXPECT_EQ(form->CurrentColour, 3);
    form->FormClose();
    FlushDeletes();
    Make();
    EXPECT_EQ(form->CurrentTool, TToolKind::Arrow);
    EXPECT_EQ(form->CurrentColour, 3);
}
