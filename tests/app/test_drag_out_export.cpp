// The card's and the preview's drag-out wired to the export as the main window wires them: the
// export's work-file names and save command give the dragged file, and the bytes the export encodes
// on a worker from the start of the drag are what the drop writes.
#include "DragOutPreview.h"
#include "Thumb.h"

#include "Export.h"
#include "FakePlatform.h"
#include "ScriptedThumb.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;

// Left half red, right half green.
TDIB TwoColours(int w, int h) {
    TDIB image(w, h, 32);
    image.FillRect(QRect(0, 0, w / 2, h), kRed, 256);
    image.FillRect(QRect(w / 2, 0, w - w / 2, h), kGreen, 256);
    return image;
}

// The export as the main window wires it to a drag source: the fake platform's documents, the export's
// real names and save, its errors recorded.
class ExportWired : public ::testing::Test {
  protected:
    void WireExport(const TDIB& picture, uint32_t flatColour, const QString& comment = {}) {
        fake = InstallFakePlatform();
        ASSERT_TRUE(docs.isValid());
        fake->documents = docs.path();
        folder = docs.path() + u'/' + WorkFolderName(CurrentInterfaceLanguage()) + u'/';
        capture = picture;
        flat = TDIB(picture.Width(), picture.Height(), 24);
        flat.FillRect(QRect(0, 0, picture.Width(), picture.Height()), flatColour, 256);
        exportOwner.captureImage = [this] { return capture; };
        exportOwner.flatImage = [this] { return flat; };
        exportOwner.settings = [comment] {
            TExportSettings s;
            s.title = QStringLiteral("Shot");
            s.format = TImageFormat::Png;
            s.comment = comment;
            return s;
        };
        exporter.Services().showError = [this](QWidget*, const QString& text, const QString&) {
            errors << text;
        };
        owner.dragFileName = [] { return MakeWorkFileName(QStringLiteral("Shot"), TImageFormat::Png); };
    }

    std::shared_ptr<TFakeState> fake;
    QTemporaryDir docs;
    QString folder;
    TDIB capture, flat;
    TFunctionExportOwner exportOwner;
    TExporter exporter{exportOwner};
    TFunctionThumbOwner owner;
    QStringList errors;
};

// The capture's picture on the capture tab, its drag-out wired to the export.
class PreviewDrag : public ExportWired {
  protected:
    void SetUp() override {
        WireExport(TwoColours(40, 30), 0xFF2060A0u);
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

    TDragOutPreview preview{&owner};
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
class ThumbPreparedDrop : public ExportWired {
  protected:
    void SetUp() override {
        WireExport(Gradient(160, 90, 0), 0xFF405060u, QStringLiteral("note"));
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
