// The capture's picture as a control, the drag source where the card cannot fly: how it fits the
// picture, when a press turns into a drag, and that its drag is the card's own (same data, same
// names, the file written only when an accepting target asks after the release, or, where the drag
// loop outlasts the drop, at any request and removed again when the drag finds no taker).
#include "DragOutPreview.h"

#include "Export.h"
#include "FakePlatform.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << "x" << r.height() << ")";
}
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;

// Left half red, right half green: a mirrored or squeezed picture shows.
TDIB TwoColours(int w, int h) {
    TDIB image(w, h, 32);
    image.FillRect(QRect(0, 0, w / 2, h), kRed, 256);
    image.FillRect(QRect(w / 2, 0, w - w / 2, h), kGreen, 256);
    return image;
}

struct TFitCase {
    const char* name;
    QSize picture, control;
    QRect expected;
};

class PreviewFit : public ::testing::TestWithParam<TFitCase> {};

TEST_P(PreviewFit, KeepsTheAspectAndNeverEnlarges) {
    TFunctionThumbOwner owner;
    TDragOutPreview preview(&owner);
    preview.resize(GetParam().control);
    const QSize size = GetParam().picture;
    preview.SetPicture(size.isEmpty() ? TDIB() : TwoColours(size.width(), size.height()));
    EXPECT_EQ(preview.PictureRect(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PreviewFit,
    ::testing::Values(TFitCase{"WideIntoBox", {1000, 250}, {340, 180}, QRect(0, 47, 340, 85)},
                      TFitCase{"TallIntoBox", {300, 900}, {340, 180}, QRect(140, 0, 60, 180)},
                      TFitCase{"SameAspect", {680, 360}, {340, 180}, QRect(0, 0, 340, 180)},
                      TFitCase{"SmallStaysItsSize", {31, 17}, {340, 180}, QRect(154, 81, 31, 17)},
                      TFitCase{"HairLine", {5000, 2}, {340, 180}, QRect(0, 89, 340, 1)},
                      TFitCase{"NoPicture", {0, 0}, {340, 180}, QRect()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PreviewPaint, ShowsThePictureScaledInItsPlace) {
    TFunctionThumbOwner owner;
    TDragOutPreview preview(&owner);
    preview.resize(200, 100);
    preview.SetPicture(TwoColours(400, 100)); // shown at 200 x 50, from y = 25
    const QImage shot = preview.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(200, 100));
    EXPECT_EQ(shot.pixel(20, 50), kRed);
    EXPECT_EQ(shot.pixel(180, 50), kGreen);
    // Above and below the picture the control shows what lies behind it.
    EXPECT_NE(shot.pixel(20, 10), kRed);
    EXPECT_NE(shot.pixel(180, 90), kGreen);
    // A new picture replaces the shown one, however the control was painted before.
    preview.SetPicture(TwoColours(100, 100));
    const QImage next = preview.grab().toImage();
    EXPECT_EQ(next.pixel(60, 50), kRed);
    EXPECT_EQ(next.pixel(140, 50), kGreen);
    EXPECT_NE(next.pixel(20, 50), kRed);
}

// An owner as the main window wires it, with the export's real names and save.
class PreviewDrag : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = InstallFakePlatform();
        ASSERT_TRUE(docs.isValid());
        fake->documents = docs.path();
        folder = docs.path() + u'/' + WorkFolderName(CurrentInterfaceLanguage()) + u'/';
        capture = TwoColours(40, 30);
        flat = TDIB(40, 30, 24);
        flat.FillRect(QRect(0, 0, 40, 30), 0xFF2060A0u, 256);
        exportOwner.captureImage = [this] { return capture; };
        exportOwner.flatImage = [this] { return flat; };
        exportOwner.settings = [] {
            TExportSettings s;
            s.title = QStringLiteral("Shot");
            s.format = TImageFormat::Png;
            return s;
        };
        exporter.Services().showError = [this](QWidget*, const QString& text, const QString&) {
            errors << text;
        };
        owner.dragFileName = [] { return MakeWorkFileName(QStringLiteral("Shot"), TImageFormat::Png); };
        owner.saveDragFile = [this](const QString& path, TPreparedFile*) {
            ++saves;
            return exporter.SaveCapture(path, TImageFormat::Png);
        };
        owner.hideForDragOut = [this] { ++hides; };
        preview.resize(200, 100);
        preview.SetPicture(TwoColours(80, 60));
        preview.SetDragLoop([this](TDragFileData* data) {
            ++drags;
            // What the Wayland platform sets: its drag loop outlasts the drop.
            if (waylandLoop) data->SetWritesWhileDragging(true);
            draggingInLoop = preview.Dragging();
            offered = data->OfferedPath();
            formats = data->formats();
            duringDrag = data->data(kUriListFormat);
            existedDuringDrag = QFileInfo::exists(offered);
            if (during) during(data);
            held.reset(data); // a real drag owns its data until its target is done
            return result;
        });
    }
    void TearDown() override { held.reset(); }

    void Mouse(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPointF at(local);
        QMouseEvent e(type, at, at, QPointF(preview.mapToGlobal(local)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&preview, &e);
    }

    std::shared_ptr<TFakeState> fake;
    QTemporaryDir docs;
    QString folder;
    TDIB capture, flat;
    TFunctionExportOwner exportOwner;
    TExporter exporter{exportOwner};
    TFunctionThumbOwner owner;
    TDragOutPreview preview{&owner};
    QStringList errors;
    int saves = 0, hides = 0, drags = 0;
    Qt::DropAction result = Qt::CopyAction;
    bool draggingInLoop = false, existedDuringDrag = true, waylandLoop = false;
    QString offered;
    QStringList formats;
    QByteArray duringDrag;
    std::function<void(TDragFileData*)> during;
    std::unique_ptr<TDragFileData> held;
};

TEST_F(PreviewDrag, StartsPastTheSystemDragDistanceFromAPressOnThePicture) {
    preview.show();
    const int d = QApplication::startDragDistance();
    const QPoint at = preview.PictureRect().center();
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, at + QPoint(d - 1, -(d - 1)), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags, 0);
    Mouse(QEvent::MouseMove, at + QPoint(0, d), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags, 1);
    EXPECT_TRUE(draggingInLoop);
    EXPECT_FALSE(preview.Dragging());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr); // the drag took the pointer
    // Moving on after the drag, or without a press, starts nothing.
    Mouse(QEvent::MouseMove, at + QPoint(40, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(drags, 1);
    // A click without moving starts nothing.
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    Mouse(QEvent::MouseMove, at + QPoint(d, d), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(drags, 1);
    // The margin beside the picture is no handle, and a right press none either.
    const QPoint beside(preview.PictureRect().left() - 5, at.y());
    Mouse(QEvent::MouseButtonPress, beside, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, beside + QPoint(0, 2 * d), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, beside + QPoint(0, 2 * d), Qt::LeftButton, Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, at + QPoint(0, 2 * d), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(drags, 1);
    // Without a picture nothing is dragged.
    preview.Clear();
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, at + QPoint(0, 2 * d), Qt::NoButton, Qt::LeftButton);
    preview.StartDragOut();
    EXPECT_EQ(drags, 1);
}

TEST_F(PreviewDrag, AcceptedDropWritesTheFileWhenTheTargetAsks) {
    preview.StartDragOut();
    const QString path = folder + QStringLiteral("Shot.png");
    EXPECT_EQ(offered, path);
    EXPECT_EQ(formats, (QStringList{kUriListFormat, kCopiedFilesFormat}));
    EXPECT_EQ(duringDrag, QUrl::fromLocalFile(path).toEncoded() + "\r\n"); // the name, no file yet
    EXPECT_FALSE(existedDuringDrag);
    EXPECT_EQ(hides, 0);                   // the window holding the preview stays
    EXPECT_FALSE(QFileInfo::exists(path)); // the loop ended, the target has not asked yet
    TDragFileData* data = preview.LastDragData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Phase(), TDragFileData::Accepted);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(data->data(kCopiedFilesFormat), "copy\n" + QUrl::fromLocalFile(path).toEncoded());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(QImage(path).size(), QSize(40, 30));
    EXPECT_EQ(fake->recentDocuments, QStringList{path});
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PreviewDrag, RefusedOrCancelledDropWritesNothing) {
    for (Qt::DropAction action : {Qt::IgnoreAction, Qt::LinkAction}) {
        result = action;
        preview.StartDragOut();
        TDragFileData* data = preview.LastDragData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->Phase(), TDragFileData::Refused);
        EXPECT_TRUE(data->urls().isEmpty());
        EXPECT_TRUE(data->data(kUriListFormat).isEmpty());
    }
    EXPECT_EQ(saves, 0);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Shot.png")));
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
}

// A drag loop that runs until the target is done with the drop (Wayland): the target's read during
// the loop may be its read after the release, so it finds the file there with the captured pixels;
// a drag that then ends without an accepted drop removes it, and a failed write hands out no path.
TEST_F(PreviewDrag, WhereTheLoopOutlastsTheDropARequestWritesAndARefusalRemovesTheFile) {
    waylandLoop = true;
    const QString path = folder + QStringLiteral("Shot.png");
    QImage during;
    this->during = [&](TDragFileData* data) {
        EXPECT_EQ(data->Phase(), TDragFileData::Written);
        EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)}); // asked again: no second write
        during = QImage(path);
    };
    preview.StartDragOut();
    EXPECT_EQ(duringDrag, QUrl::fromLocalFile(path).toEncoded() + "\r\n");
    EXPECT_TRUE(existedDuringDrag);
    ASSERT_EQ(during.size(), QSize(40, 30));
    EXPECT_EQ(during.pixel(5, 5), kRed);
    EXPECT_EQ(during.pixel(35, 5), kGreen);
    TDragFileData* data = preview.LastDragData();
    EXPECT_EQ(data->Phase(), TDragFileData::Written);
    EXPECT_EQ(data->WriteCount(), 1);
    EXPECT_TRUE(data->RemovedPath().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(path)); // the drop was taken: the file stays
    EXPECT_EQ(saves, 1);

    // Read as the drag passed over a target, then refused or cancelled elsewhere: the file goes.
    this->during = nullptr;
    for (Qt::DropAction action : {Qt::IgnoreAction, Qt::LinkAction}) {
        result = action;
        preview.StartDragOut();
        const QString next = folder + QStringLiteral("Shot_2.png");
        EXPECT_EQ(offered, next);
        EXPECT_TRUE(existedDuringDrag);
        data = preview.LastDragData();
        EXPECT_EQ(data->Phase(), TDragFileData::Refused);
        EXPECT_EQ(data->RemovedPath(), next);
        EXPECT_FALSE(QFileInfo::exists(next));
        EXPECT_TRUE(data->urls().isEmpty()); // nothing for a late request either
    }
    EXPECT_EQ(saves, 3);
    EXPECT_TRUE(QFileInfo::exists(path)); // the first drop's file is not touched

    // A write that fails during the drag hands out nothing, then or after.
    result = Qt::CopyAction;
    owner.saveDragFile = [this](const QString&, TPreparedFile*) {
        ++saves;
        return QString();
    };
    preview.StartDragOut();
    EXPECT_TRUE(duringDrag.isEmpty());
    data = preview.LastDragData();
    EXPECT_EQ(data->Phase(), TDragFileData::Failed);
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_EQ(saves, 4);
}

// The card and the preview are one drag source: one drag at a time between them, and the names
// follow on from each other's files.
TEST_F(PreviewDrag, SharesTheCardsDragOut) {
    TThumbForm card(&owner, TwoColours(40, 30), QPointF(10, 10));
    int cardDrags = 0;
    during = [&](TDragFileData*) {
        card.StartDragOut();
        cardDrags += card.LastDragData() != nullptr;
        preview.StartDragOut(); // nor a second one from the preview itself
    };
    preview.StartDragOut();
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(cardDrags, 0);
    EXPECT_EQ(hides, 0);
    ASSERT_FALSE(preview.LastDragData()->urls().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Shot.png")));
    // The next drag offers the next free name.
    during = nullptr;
    preview.StartDragOut();
    EXPECT_EQ(offered, folder + QStringLiteral("Shot_2.png"));
}

// The capture goes: the worker making the last drag's bytes is stopped and joined, and a late
// request saves afresh (here: nothing, the capture is gone too) instead of writing stale bytes.
TEST_F(PreviewDrag, ClearStopsTheBytesOfTheLastDrag) {
    std::atomic_bool release{false};
    owner.prepareDragFile = [&]() -> std::unique_ptr<TPreparedFile> {
        return std::make_unique<TPreparedFile>(
            [&](const std::atomic_bool& cancelled) -> std::optional<QByteArray> {
                while (!release.load() && !cancelled.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return QByteArray("stale");
            });
    };
    preview.StartDragOut();
    TDragFileData* data = preview.LastDragData();
    ASSERT_NE(data->Prepared(), nullptr);
    EXPECT_FALSE(data->Prepared()->Finished());
    preview.Clear();
    EXPECT_TRUE(data->Prepared()->Finished());
    EXPECT_FALSE(data->Prepared()->StillCurrent());
    capture.Clear();
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(preview.Picture().Empty());
    EXPECT_TRUE(preview.PictureRect().isEmpty());
}

} // namespace
