// The thumbnail card as a window: ticks with injected periods, the picture it paints, the mouse
// rules, showing and hiding, discarding, and the drag-out with its file written only when an
// accepting target asks after the release.
#include "Thumb.h"

#include "Export.h"
#include "FakePlatform.h"
#include "Globals.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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

// A card whose drag loop is scripted: `during` plays the target while the button is down.
class TScriptedThumb : public TThumbForm {
  public:
    using TThumbForm::TThumbForm;
    std::function<void(TThumbForm*, TDragFileData*)> during;
    Qt::DropAction result = Qt::CopyAction;
    int drags = 0;
    bool acceptedMouseInDrag = true, draggingInDrag = false;
    QString nameInDrag;

  protected:
    Qt::DropAction RunDrag(TDragFileData* data) override {
        ++drags;
        acceptedMouseInDrag = AcceptsMouse();
        draggingInDrag = Dragging();
        nameInDrag = DragFileName();
        if (during) during(this, data);
        // A real drag owns its data until the target is done, which may be after the card is gone.
        if (outside)
            outside->reset(data);
        else
            holder_.reset(data);
        return result;
    }

  public:
    std::unique_ptr<TDragFileData>* outside = nullptr;

  private:
    std::unique_ptr<TDragFileData> holder_;
};

TDIB SolidPicture(int w, int h, uint32_t colour) {
    TDIB image(w, h, 32);
    image.FillRect(QRect(0, 0, w, h), colour, 256);
    return image;
}

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

// The main window's drag file comes from the export's work-file name and save command.
TEST(ThumbDropNaming, SecondDragWithTheSameTitleOffersTheNextName) {
    auto fake = InstallFakePlatform();
    QTemporaryDir docs;
    ASSERT_TRUE(docs.isValid());
    fake->documents = docs.path();
    TDIB capture = SolidPicture(40, 30, 0xFF2060A0u);
    TDIB flat(40, 30, 24);
    flat.FillRect(QRect(0, 0, 40, 30), 0xFF2060A0u, 256);
    TFunctionExportOwner exportOwner;
    exportOwner.captureImage = [&] { return capture; };
    exportOwner.flatImage = [&] { return flat; };
    exportOwner.settings = [] {
        TExportSettings s;
        s.title = QStringLiteral("Shot");
        s.format = TImageFormat::Png;
        return s;
    };
    TExporter exporter(exportOwner);
    QStringList errors;
    exporter.Services().showError = [&](QWidget*, const QString& text, const QString&) { errors << text; };
    TFunctionThumbOwner owner;
    owner.dragFileName = [] { return MakeWorkFileName(QStringLiteral("Shot"), TImageFormat::Png); };
    owner.saveDragFile = [&](const QString& path, TPreparedFile*) {
        return exporter.SaveCapture(path, TImageFormat::Png);
    };

    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    const QString folder = docs.path() + u'/' + WorkFolderName(CurrentInterfaceLanguage()) + u'/';
    card.StartDragOut();
    EXPECT_EQ(card.nameInDrag, folder + QStringLiteral("Shot.png"));
    EXPECT_EQ(card.LastDragData()->urls(),
              QList<QUrl>{QUrl::fromLocalFile(folder + QStringLiteral("Shot.png"))});
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Shot.png")));
    card.StartDragOut();
    EXPECT_EQ(card.nameInDrag, folder + QStringLiteral("Shot_2.png"));
    // That drag's target never asked: nothing was written, and a file that appears during the next
    // drag under the offered name is not replaced.
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Shot_2.png")));
    card.during = [&](TThumbForm*, TDragFileData* data) {
        QFile f(data->OfferedPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("other");
    };
    card.StartDragOut();
    EXPECT_EQ(card.nameInDrag, folder + QStringLiteral("Shot_2.png"));
    EXPECT_EQ(card.LastDragData()->urls(),
              QList<QUrl>{QUrl::fromLocalFile(folder + QStringLiteral("Shot_3.png"))});
    EXPECT_EQ(card.LastDragData()->WrittenPath(), folder + QStringLiteral("Shot_3.png"));
    QFile other(folder + QStringLiteral("Shot_2.png"));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), QByteArray("other"));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(fake->recentDocuments.size(), 2);
}

TEST(ThumbDropNaming, AFailedSaveShowsTheErrorAndGivesNoPath) {
    auto fake = InstallFakePlatform();
    TDIB capture = SolidPicture(4, 4, kRed);
    TFunctionExportOwner exportOwner;
    exportOwner.captureImage = [&] { return capture; };
    exportOwner.flatImage = [&] { return TDIB(4, 4, 24); };
    TExporter exporter(exportOwner);
    QStringList errors;
    exporter.Services().showError = [&](QWidget*, const QString& text, const QString&) { errors << text; };
    TFunctionThumbOwner owner;
    owner.saveDragFile = [&](const QString& path, TPreparedFile*) {
        return exporter.SaveCapture(path, TImageFormat::Png);
    };
    EXPECT_TRUE(DragSourceDrop(owner, QStringLiteral("/proc/no/such/folder/x.png")).isEmpty());
    EXPECT_EQ(errors, QStringList{SaveErrorText()});
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
    EXPECT_TRUE(DragSourceDrop(owner, QString()).isEmpty()); // no drag running: nothing
    EXPECT_EQ(errors.size(), 1);
}

// ---- the file made while the user drags ----

// An owner wired as the main window wires it: the export encodes the capture on the worker from the
// start of the drag; the drop writes those bytes, or saves afresh when the capture changed meanwhile.
class ThumbPreparedDrop : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = InstallFakePlatform();
        ASSERT_TRUE(docs.isValid());
        fake->documents = docs.path();
        folder = docs.path() + u'/' + WorkFolderName(CurrentInterfaceLanguage()) + u'/';
        capture = Gradient(160, 90, 0);
        flat = TDIB(160, 90, 24);
        flat.FillRect(QRect(0, 0, 160, 90), 0xFF405060u, 256);
        exportOwner.captureImage = [this] { return capture; };
        exportOwner.flatImage = [this] { return flat; };
        exportOwner.settings = [] {
            TExportSettings s;
            s.title = QStringLiteral("Shot");
            s.format = TImageFormat::Png;
            s.comment = QStringLiteral("note");
            return s;
        };
        exporter.Services().showError = [this](QWidget*, const QString& text, const QString&) {
            errors << text;
        };
        owner.dragFileName = [] { return MakeWorkFileName(QStringLiteral("Shot"), TImageFormat::Png); };
        owner.prepareDragFile = [this]() -> std::unique_ptr<TPreparedFile> {
            const TDIB c = capture, f = flat;
            const TExportSettings s = exportOwner.ExportSettings();
            auto work = [c, f, s, this](const std::atomic_bool& cancelled) -> std::optional<QByteArray> {
                while (hold.load() && !cancelled.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::optional<QByteArray> bytes = EncodeCaptureBytes(c, f, s, TImageFormat::Png, &cancelled);
                workEnded.store(true);
                return bytes;
            };
            return std::make_unique<TPreparedFile>(work, [this, c] { return capture.SharesWith(c); });
        };
        owner.saveDragFile = [this](const QString& path, TPreparedFile* prepared) {
            if (prepared && prepared->StillCurrent())
                if (std::optional<QByteArray> bytes = prepared->Take()) {
                    ++fromBytes;
                    return exporter.SaveEncodedCapture(path, TImageFormat::Png, *bytes);
                }
            ++afresh;
            return exporter.SaveCapture(path, TImageFormat::Png);
        };
    }

    static TDIB Gradient(int w, int h, int shift) {
        TDIB image(w, h, 32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                *image.PixelPtr32(x, y) = 0xFF000000u | uint32_t((x * 3 + shift) & 255) << 16 |
                                          uint32_t((y * 5) & 255) << 8 | uint32_t((x ^ y) & 255);
        return image;
    }
    // The file the ordinary save writes for the capture as it is now.
    QByteArray OrdinarySave() {
        const QString path =
            exporter.SaveCapture(docs.path() + QStringLiteral("/ordinary"), TImageFormat::Png);
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::shared_ptr<TFakeState> fake;
    QTemporaryDir docs;
    QString folder;
    TDIB capture, flat;
    TFunctionExportOwner exportOwner;
    TExporter exporter{exportOwner};
    TFunctionThumbOwner owner;
    QStringList errors;
    std::atomic_bool hold{false}, workEnded{false};
    int fromBytes = 0, afresh = 0;
};

TEST_F(ThumbPreparedDrop, TheDropWritesTheBytesOfTheOrdinarySave) {
    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card.StartDragOut();
    TDragFileData* data = card.LastDragData();
    ASSERT_NE(data->Prepared(), nullptr);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(folder + QStringLiteral("Shot.png"))});
    EXPECT_EQ(fromBytes, 1);
    EXPECT_EQ(afresh, 0);
    EXPECT_EQ(Read(folder + QStringLiteral("Shot.png")), OrdinarySave());
    EXPECT_EQ(fake->recentDocuments, QStringList{folder + QStringLiteral("Shot.png")});
    // Written once; the bytes are let go.
    EXPECT_EQ(data->data(kCopiedFilesFormat),
              "copy\n" + QUrl::fromLocalFile(folder + QStringLiteral("Shot.png")).toEncoded());
    EXPECT_EQ(data->WriteCount(), 1);
    EXPECT_FALSE(data->Prepared()->Take().has_value());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ThumbPreparedDrop, EscapeOrARefusedDropDropsTheBytesAndWritesNothing) {
    for (Qt::DropAction action : {Qt::IgnoreAction, Qt::LinkAction}) {
        TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
        card.result = action;
        card.StartDragOut();
        TDragFileData* data = card.LastDragData();
        EXPECT_TRUE(data->Prepared()->Cancelled());
        EXPECT_TRUE(data->urls().isEmpty());
        EXPECT_FALSE(data->Prepared()->Take().has_value());
    }
    EXPECT_EQ(fromBytes + afresh, 0);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Shot.png")));
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
}

TEST_F(ThumbPreparedDrop, ACaptureReplacedDuringTheDragIsSavedAfresh) {
    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card.during = [&](TThumbForm*, TDragFileData*) { capture = Gradient(160, 90, 77); };
    card.StartDragOut();
    EXPECT_FALSE(card.LastDragData()->urls().isEmpty());
    EXPECT_EQ(fromBytes, 0);
    EXPECT_EQ(afresh, 1);
    EXPECT_EQ(Read(folder + QStringLiteral("Shot.png")), OrdinarySave());
}

TEST_F(ThumbPreparedDrop, AFailedWriteStillRefusesTheDropWithTheErrorBox) {
    exporter.Services().writeFile = [](const QString&, bool, const TWriteFunction&, QString* error) {
        if (error) *error = QStringLiteral("disk full");
        return QString();
    };
    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card.StartDragOut();
    TDragFileData* data = card.LastDragData();
    EXPECT_TRUE(data->data(kUriListFormat).isEmpty());
    EXPECT_EQ(data->Phase(), TDragFileData::Failed);
    EXPECT_EQ(fromBytes, 1);
    EXPECT_EQ(errors, QStringList{SaveErrorText()});
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
}

// Let go before the bytes are ready: the card keeps ticking while the drop waits for the worker, and
// a second request arriving during the wait gets the same single file.
TEST_F(ThumbPreparedDrop, AnEarlyDropWaitsWithTheCardMoving) {
    hold = true;
    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card.show();
    card.StartDragOut();
    TDragFileData* data = card.LastDragData();
    const double before = card.Motion.Time;
    QByteArray nested;
    QTimer::singleShot(40, [&] {
        nested = data->data(kCopiedFilesFormat); // the target asks again while the first request waits
    });
    QTimer::singleShot(120, [&] { hold = false; });
    const QByteArray uri = data->data(kUriListFormat);
    const QString path = folder + QStringLiteral("Shot.png");
    EXPECT_EQ(uri, QUrl::fromLocalFile(path).toEncoded() + "\r\n");
    EXPECT_EQ(nested, "copy\n" + QUrl::fromLocalFile(path).toEncoded());
    EXPECT_EQ(data->WriteCount(), 1);
    EXPECT_EQ(fromBytes, 1);
    EXPECT_GE(card.Motion.Time - before, 80.0) << "the card stood still during the wait";
    EXPECT_EQ(Read(path), OrdinarySave());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Shot_2.png")));
}

// A target that accepted a drop but never asked: the next drag lets those bytes go.
TEST_F(ThumbPreparedDrop, TheNextDragDropsUnclaimedBytes) {
    std::unique_ptr<TDragFileData> first;
    TScriptedThumb card(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card.outside = &first;
    card.StartDragOut();
    first->Prepared()->Wait();
    EXPECT_TRUE(first->Prepared()->StillCurrent());
    card.outside = nullptr;
    card.StartDragOut();
    EXPECT_TRUE(first->Prepared()->Cancelled());
    EXPECT_FALSE(first->Prepared()->Take().has_value());
    EXPECT_FALSE(card.LastDragData()->Prepared()->Cancelled());
}

// The worker never outlives the capture's card, even while the drag's data lives on.
TEST_F(ThumbPreparedDrop, DiscardingTheCardStopsAndJoinsTheWorker) {
    hold = true; // the work runs until it is told to stop
    std::unique_ptr<TDragFileData> data;
    auto* card = new TScriptedThumb(&owner, SolidPicture(40, 30, kRed), QPointF(10, 10));
    card->outside = &data;
    card->StartDragOut();
    ASSERT_TRUE(data);
    EXPECT_FALSE(workEnded.load());
    delete card;
    EXPECT_TRUE(workEnded.load());
    EXPECT_TRUE(data->Prepared()->Finished());
    EXPECT_FALSE(data->Prepared()->StillCurrent());
    // A late request finds no bytes and saves afresh, as without a worker.
    EXPECT_FALSE(data->urls().isEmpty());
    EXPECT_EQ(fromBytes, 0);
    EXPECT_EQ(afresh, 1);
}

} // namespace
