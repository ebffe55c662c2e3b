// The thumbnail card as a window: ticks with injected periods, the picture it paints, the mouse
// rules, showing and hiding, discarding, and the drag-out with its file written only when an
// accepting target asks after the release.
#include "Thumb.h"

#include "FakePlatform.h"
#include "Globals.h"
#include "ScriptedThumb.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QUrl>

#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;

struct TFakeOwner : IThumbOwner {
    bool visible = true;
    QRect bounds{100, 400, 300, 200};
    int forward = 0, hides = 0, shows = 0, menus = 0;
    QPoint menuAt;
    QString nextName = QStringLiteral("/nowhere/shot.png");
    std::function<QString(const QString&)> save;
    QStringList saved;

    bool OwnerVisible() const override { return visible; }
    QRect OwnerBounds() const override { return bounds; }
    void BringOwnerForward() override { ++forward; }
    void PopupThumbMenu(const QPoint& p) override {
        ++menus;
        menuAt = p;
    }
    void HideForDragOut() override {
        ++hides;
        visible = false;
    }
    void ShowAfterDragOut() override {
        ++shows;
        visible = true;
    }
    QString DragFileName() override { return nextName; }
    QString SaveDragFile(const QString& path, TPreparedFile*) override {
        saved << path;
        return save ? save(path) : path;
    }
};

class ThumbFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = InstallFakePlatform();
        ThumbForm = nullptr;
    }
    void TearDown() override {
        delete form;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ThumbForm = nullptr;
    }
    TScriptedThumb* Make(QPointF origin = QPointF(900, 500), QSize size = QSize(200, 100)) {
        form = new TScriptedThumb(&owner, SolidPicture(size.width(), size.height(), kRed), origin);
        ThumbForm = form;
        form->show();
        return form;
    }
    void Send(QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPointF local = QPointF(global - form->geometry().topLeft());
        QMouseEvent e(type, local, local, QPointF(global), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(form, &e);
    }

    std::shared_ptr<TFakeState> fake;
    TFakeOwner owner;
    TScriptedThumb* form = nullptr;
};

TEST_F(ThumbFormTest, ShownAtTheOriginWithItsTimerRunning) {
    Make(QPointF(900, 500), QSize(200, 100));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->AnimTimer.Enabled());
    EXPECT_EQ(form->AnimTimer.Interval(), 16);
    EXPECT_TRUE(form->AnimTimer.NoOverflow());
    EXPECT_EQ(form->LayeredRect(), QRect(800, 450, 200, 100));
    EXPECT_EQ(form->AlphaValue(), 255);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Thumbnail"));
}

TEST_F(ThumbFormTest, NoZoneAnywhereMovesOrResizesTheCard) {
    Make();
    form->Tick(1);
    const QRect placed = form->LayeredRect();
    const int step = QApplication::startDragDistance() - 1; // short of a drag-out
    // The middle, an edge and a corner: pressing and moving there grabs nothing.
    for (QPoint at : {placed.center(), QPoint(placed.left() + 1, placed.center().y()),
                      placed.bottomRight() - QPoint(1, 1)}) {
        Send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        EXPECT_EQ(form->DragZone(), hzNone);
        Send(QEvent::MouseMove, at + QPoint(step, step), Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, at + QPoint(step, step), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(form->LayeredRect(), placed);
    }
    EXPECT_EQ(form->drags, 0);
}

TEST_F(ThumbFormTest, TickPlacesTheWindowAroundTheSwayingCard) {
    Make();
    const int pushes = form->PushCount();
    form->Tick(3);
    EXPECT_EQ(form->LayeredRect(), form->Motion.WindowRect);
    EXPECT_DOUBLE_EQ(form->Motion.Time, 48);
    EXPECT_GT(form->PushCount(), pushes);
    // The monitor is the fake's, the main window on its left half: the card heads right.
    EXPECT_DOUBLE_EQ(form->Motion.Target.x(), 1920 - (100 + 48));
}

TEST_F(ThumbFormTest, PaintsThePictureOnTheQuadAndClearsTheRest) {
    Make();
    form->Tick(1);
    const QRect r(0, 0, form->LayeredRect().width(), form->LayeredRect().height());
    const QPointF c = (form->Motion.WindowQuad[0] + form->Motion.WindowQuad[2]) / 2;
    EXPECT_EQ(form->Surface.GetPixel(int(c.x()), int(c.y())), kRed);
    // Outside the (slightly rotated) card the window is transparent; corners of the box lie outside
    // unless the card happens to be upright, so look for any transparent pixel on the border.
    int clear = 0;
    for (int x = 0; x < r.width(); ++x)
        clear += form->Surface.GetPixel(x, 0) == 0;
    EXPECT_GT(clear, 0);
}

TEST_F(ThumbFormTest, SmallScalesDrawTheQuarterPicture) {
    Make();
    form->MakeSmallPicture();
    ASSERT_EQ(form->SmallPicture.Width(), 50);
    ASSERT_EQ(form->SmallPicture.Height(), 25);
    EXPECT_EQ(form->SmallSourceQuad[2], QPointF(50, 25));
    // Mark the small copy so that the paint shows which picture it used.
    form->SmallPicture.FillRect(QRect(0, 0, 50, 25), kGreen, 256);
    form->Tick(1);
    QPointF c = (form->Motion.WindowQuad[0] + form->Motion.WindowQuad[2]) / 2;
    EXPECT_EQ(form->Surface.GetPixel(int(c.x()), int(c.y())), kRed);
    form->Motion.Scale = 0.29;
    form->Motion.Step(0, 16, form->ReadInputs());
    form->SetLayeredRect(form->Motion.WindowRect, false);
    form->RepaintAll();
    c = (form->Motion.WindowQuad[0] + form->Motion.WindowQuad[2]) / 2;
    EXPECT_EQ(form->Surface.GetPixel(int(c.x()), int(c.y())), kGreen);
}

TEST(ThumbPressedLook, ChannelsMultipliedAndTruncated) {
    TDIB image(3, 1, 32);
    *image.PixelPtr32(0, 0) = 0xFFFFFFFFu;
    *image.PixelPtr32(1, 0) = 0x80402011u;
    *image.PixelPtr32(2, 0) = 0x00000000u;
    MultiplyChannels(image, QRect(0, 0, 3, 1), 256, 248, 240, 256);
    // Blue kept, green 255 * 248 >> 8 = 247, red 255 * 240 >> 8 = 239, alpha kept.
    EXPECT_EQ(*image.PixelPtr32(0, 0), 0xFFEFF7FFu);
    // 0x40 * 240 >> 8 = 0x3C, 0x20 * 248 >> 8 = 0x1F, 0x11 kept.
    EXPECT_EQ(*image.PixelPtr32(1, 0), 0x803C1F11u);
    EXPECT_EQ(*image.PixelPtr32(2, 0), 0u);
}

TEST_F(ThumbFormTest, PressBringsTheShownMainWindowForwardAndDarkensWhileHeld) {
    Make();
    form->Tick(1);
    const QPoint centre = form->LayeredRect().center();
    Send(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(owner.forward, 1);
    EXPECT_EQ(QWidget::mouseGrabber(), form);
    form->RepaintAll();
    const QPoint local = centre - form->LayeredRect().topLeft();
    EXPECT_EQ(form->Surface.GetPixel(local.x(), local.y()), 0xFFEF0000u);
    Send(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    form->RepaintAll();
    EXPECT_EQ(form->Surface.GetPixel(local.x(), local.y()), kRed);
    EXPECT_EQ(form->drags, 0); // a click without moving starts nothing

    owner.visible = false;
    Send(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(owner.forward, 1); // a hidden main window stays hidden
}

TEST_F(ThumbFormTest, DragStartsAtTheSystemDragDistance) {
    Make();
    form->Tick(1);
    const int d = QApplication::startDragDistance();
    const QPoint at = form->LayeredRect().center();
    Send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, at + QPoint(d - 1, -(d - 1)), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->drags, 0);
    Send(QEvent::MouseMove, at + QPoint(0, -d), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->drags, 1);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr); // the drag took the pointer
    // Moving without a press held on the card starts nothing.
    Send(QEvent::MouseMove, at + QPoint(40, 40), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form->drags, 1);
}

TEST_F(ThumbFormTest, RightButtonOpensTheMenu) {
    Make();
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(805, 455));
    QApplication::sendEvent(form, &e);
    EXPECT_EQ(owner.menus, 1);
    EXPECT_EQ(owner.menuAt, QPoint(805, 455));
}

TEST_F(ThumbFormTest, DragOutWritesOnlyAtTheFirstRequestAfterAnAcceptedRelease) {
    Make();
    owner.nextName = QStringLiteral("/work/a.png");
    QByteArray duringDrag;
    form->during = [&](TThumbForm* f, TDragFileData* data) {
        // The card hangs at the pointer: it shrinks while the loop runs.
        f->Tick(10);
        EXPECT_LT(f->Motion.Scale, 0.2);
        EXPECT_EQ(f->AlphaValue(), ThumbAlpha(f->Motion.Scale));
        duringDrag = data->data(kUriListFormat);
    };
    form->StartDragOut();
    EXPECT_FALSE(form->acceptedMouseInDrag);
    EXPECT_TRUE(form->draggingInDrag);
    EXPECT_EQ(form->nameInDrag, QStringLiteral("/work/a.png"));
    EXPECT_EQ(duringDrag, QByteArray("file:///work/a.png\r\n"));
    EXPECT_TRUE(owner.saved.isEmpty()); // nothing written while dragging
    EXPECT_EQ(owner.hides, 1);
    EXPECT_EQ(owner.shows, 1);
    EXPECT_TRUE(form->AcceptsMouse());
    EXPECT_FALSE(form->Dragging());
    EXPECT_TRUE(form->DragFileName().isEmpty());
    EXPECT_FALSE(form->SmallPicture.Empty());

    TDragFileData* data = form->LastDragData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Phase(), TDragFileData::Accepted);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/work/a.png"))});
    EXPECT_EQ(data->data(kCopiedFilesFormat), QByteArray("copy\nfile:///work/a.png"));
    EXPECT_EQ(data->WriteCount(), 1);
    EXPECT_EQ(owner.saved, QStringList{QStringLiteral("/work/a.png")});
    EXPECT_EQ(fake->recentDocuments, QStringList{QStringLiteral("/work/a.png")});
    EXPECT_FALSE(data->hasFormat(QStringLiteral("text/plain")));
}

TEST_F(ThumbFormTest, TargetGetsThePathActuallyWritten) {
    Make();
    owner.nextName = QStringLiteral("/work/a.png");
    owner.save = [](const QString&) { return QStringLiteral("/work/a_2.png"); };
    form->StartDragOut();
    EXPECT_EQ(form->LastDragData()->data(kUriListFormat), QByteArray("file:///work/a_2.png\r\n"));
    EXPECT_EQ(fake->recentDocuments, QStringList{QStringLiteral("/work/a_2.png")});
}

struct RefusedCase {
    const char* name;
    Qt::DropAction action;
};
class ThumbDragRefused : public ThumbFormTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ThumbDragRefused, NothingIsWritten) {
    Make();
    form->result = GetParam().action;
    form->StartDragOut();
    TDragFileData* data = form->LastDragData();
    EXPECT_TRUE(data->data(kUriListFormat).isEmpty());
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_EQ(data->WriteCount(), 0);
    EXPECT_TRUE(owner.saved.isEmpty());
    EXPECT_EQ(owner.shows, 1);
    EXPECT_TRUE(form->AcceptsMouse());
}

INSTANTIATE_TEST_SUITE_P(Actions, ThumbDragRefused,
                         ::testing::Values(RefusedCase{"EscapeOrNoTarget", Qt::IgnoreAction},
                                           RefusedCase{"LinkOnly", Qt::LinkAction}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ThumbFormTest, AFailedWriteRefusesTheDrop) {
    Make();
    owner.save = [](const QString&) { return QString(); };
    form->StartDragOut();
    TDragFileData* data = form->LastDragData();
    EXPECT_TRUE(data->data(kUriListFormat).isEmpty());
    EXPECT_EQ(data->Phase(), TDragFileData::Failed);
    // A second request does not try again, and no recent document is added.
    EXPECT_TRUE(data->data(kCopiedFilesFormat).isEmpty());
    EXPECT_EQ(data->WriteCount(), 1);
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
}

TEST_F(ThumbFormTest, ASecondDragWhileOneRunsIsRefused) {
    Make();
    int inner = -1;
    form->during = [&](TThumbForm* f, TDragFileData*) {
        f->StartDragOut();
        inner = static_cast<TScriptedThumb*>(f)->drags;
    };
    form->StartDragOut();
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(owner.hides, 1);
}

TEST_F(ThumbFormTest, FadingLowersTheRestingPlace) {
    Make();
    form->Tick(1);
    const double y = form->Motion.Target.y();
    form->SetVisibleAnim(false);
    // The tick reads the fade before advancing it: the drop shows from the second tick on.
    form->Tick(1);
    form->Tick(1);
    EXPECT_DOUBLE_EQ(form->Motion.Target.y(), y + 110);
    EXPECT_FALSE(form->AcceptsMouse());
    // 400 ms of fading, then the current card is only hidden.
    for (int i = 0; i < 30 && form->isVisible(); ++i)
        form->Tick(1);
    EXPECT_FALSE(form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ThumbForm, form);
    EXPECT_FALSE(form->AnimTimer.Enabled());
    const double time = form->Motion.Time;
    // Shown again it fades back in, rising from below.
    form->SetVisibleAnim(true);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->AnimTimer.Enabled());
    form->Tick(1);
    EXPECT_DOUBLE_EQ(form->Motion.Target.y(), y + 110);
    for (int i = 0; i < 20; ++i)
        form->Tick(1);
    EXPECT_DOUBLE_EQ(form->Motion.Target.y(), y);
    EXPECT_DOUBLE_EQ(form->Motion.Time, time + 21 * 16);
}

TEST_F(ThumbFormTest, DiscardedCardFadesAndFreesItself) {
    Make();
    QPointer<TThumbForm> old(form);
    TThumbForm::Discard();
    EXPECT_EQ(ThumbForm, nullptr);
    // A new capture can make a new card at once.
    TFakeOwner other;
    QPointer<TThumbForm> next(TThumbForm::Create(&other, SolidPicture(10, 10, kRed), QPointF(5, 5)));
    EXPECT_EQ(ThumbForm, next.data());
    for (int i = 0; i < 30 && old && old->isVisible(); ++i)
        old->Tick(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    form = nullptr;
    // A hidden card is freed at once.
    next->hide();
    TThumbForm::Discard();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(next.isNull());
    EXPECT_EQ(ThumbForm, nullptr);
}

} // namespace
