// Where the desktop places windows itself, the card does not fly: the capture tab shows the
// capture's picture, and dragging it out drops the file as the card's drag does.
#include "ConfigHome.h"
#include "VexmorMain.h"

#include "CaptureHistory.h"
#include "DragOutPreview.h"
#include "FakePlatform.h"
#include "Thumb.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

class MainFormPreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        configHome_.emplace(config_.path());
        ASSERT_TRUE(docs_.isValid());
        fake_ = InstallFakePlatform();
        fake_->documents = docs_.path();
        // Cards that earlier tests discarded may still be fading out with their main windows gone;
        // this test runs event loops (the drop waits in one), where they would tick.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<TThumbForm*>(w)) delete w;
        ThumbForm = nullptr;
        form_ = std::make_unique<TVexmorMainForm>();
        Get<QCheckBox>("AlwaysCBBox")->setChecked(false);
        Get<QComboBox>("AfterCaptureSel")->setCurrentIndex(0);
        Get<QComboBox>("FormatSel")->setCurrentIndex(0); // PNG
    }
    void TearDown() override {
        held_.reset();
        form_.reset();
        delete ThumbForm;
        ThumbForm = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        configHome_.reset();
    }
    template <class T> T* Get(const char* name) {
        T* w = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    TDragOutPreview* Preview() { return Get<TDragOutPreview>("CapPreview"); }
    QTabWidget* Sheets() { return Get<QTabWidget>("SheetSelect"); }
    // A finished capture: 40 x 30 captured, its 60 x 50 picture.
    void Finish() {
        form_->CaptureImage = TDIB(40, 30, 32);
        form_->CaptureImage.FillRect(QRect(0, 0, 40, 30), 0xFF3070B0u, 256);
        form_->FlatImage = TDIB(40, 30, 24);
        form_->FlatImage.FillRect(QRect(0, 0, 40, 30), 0xFF3070B0u, 256);
        picture_ = TDIB(60, 50, 32);
        picture_.FillRect(QRect(0, 0, 60, 50), 0xFFC04020u, 256);
        form_->PreviewImage = picture_;
        form_->PreviewOrigin = QPointF(300, 200);
        form_->CaptureFinished();
        Get<QLineEdit>("TitleEdit")->setText(QStringLiteral("Shot"));
    }
    void Mouse(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPointF at(local);
        QMouseEvent e(type, at, at, QPointF(Preview()->mapToGlobal(local)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(Preview(), &e);
    }
    // Presses on the picture and moves past the drag distance, as a user starts a drag.
    void DragFromThePicture() {
        const QPoint at = Preview()->PictureRect().center();
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, at + QPoint(QApplication::startDragDistance(), 0), Qt::NoButton,
              Qt::LeftButton);
    }
    // Every file under the documents folder, where the work folder lies.
    // The files the export wrote (the history keeps every capture in a folder of its own).
    QStringList FilesWritten() const {
        QStringList files;
        QDirIterator it(docs_.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString file = it.next(); !file.contains(u'/' + HistoryFolderName() + u'/'))
                files << file;
        return files;
    }

    QTemporaryDir config_, docs_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
    TDIB picture_;
    std::unique_ptr<TDragFileData> held_;
};

TEST_F(MainFormPreviewTest, WithoutPlacedWindowsTheTabShowsThePictureInsteadOfTheCard) {
    fake_->placesWindows = false;
    Finish();
    EXPECT_EQ(ThumbForm, nullptr);
    EXPECT_TRUE(form_->isVisible());
    TDragOutPreview* preview = Preview();
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(preview->Picture().SharesWith(picture_)) << "the picture is handed over, not copied";
    EXPECT_TRUE(form_->PreviewImage.Empty());
    // The tab grows for the picture, below the buttons and inside the tab.
    EXPECT_EQ(form_->size(), QSize(347, 397));
    QWidget* sheet = Get<QWidget>("CapSheet");
    EXPECT_TRUE(sheet->rect().contains(preview->geometry()));
    for (const char* name : {"ToDesktopBtn", "EmailBtn", "EditBtn", "DiscardBtn"})
        EXPECT_GT(preview->y(), Get<QPushButton>(name)->geometry().bottom()) << name;
    EXPECT_EQ(preview->PictureRect().size(), QSize(60, 50)) << "a small picture keeps its size";
    // The other tabs keep their sizes; back on the capture tab it is tall again.
    Sheets()->setCurrentIndex(2);
    EXPECT_EQ(form_->size(), QSize(433, 280));
    Sheets()->setCurrentIndex(0);
    EXPECT_EQ(form_->size(), QSize(347, 397));
    // Discarded, the picture goes with the capture.
    form_->DiscardCapture();
    EXPECT_TRUE(preview->Picture().Empty());
    EXPECT_FALSE(preview->isVisible());
    EXPECT_FALSE(Sheets()->isTabVisible(0));
}

TEST_F(MainFormPreviewTest, WherePlacedWindowsWorkTheCardFliesAndTheTabIsUnchanged) {
    Finish();
    ASSERT_NE(ThumbForm, nullptr);
    EXPECT_TRUE(ThumbForm->PreviewImage.SharesWith(picture_));
    EXPECT_FALSE(Preview()->isVisible());
    EXPECT_TRUE(Preview()->Picture().Empty());
    EXPECT_EQ(form_->size(), QSize(347, 211));
}

TEST_F(MainFormPreviewTest, CardsStillFadingGoWithTheirWindow) {
    const auto cards = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += dynamic_cast<TThumbForm*>(w) ? 1 : 0;
        return n;
    };
    Finish();
    ASSERT_NE(ThumbForm, nullptr);
    ASSERT_TRUE(ThumbForm->isVisible());
    // Discarded, the card fades out on its own; the window going meanwhile takes it along, as the
    // card would go on asking the window where to be.
    form_->DiscardCapture();
    EXPECT_EQ(ThumbForm, nullptr);
    EXPECT_EQ(cards(), 1) << "fading";
    form_.reset();
    EXPECT_EQ(cards(), 0);
    QCoreApplication::processEvents();
}

TEST_F(MainFormPreviewTest, DraggingThePictureOutWritesTheCaptureOnlyWhenTheTargetAsks) {
    fake_->placesWindows = false;
    Finish();
    bool visibleInDrag = false;
    QStringList formats, filesInDrag;
    QString path;
    QByteArray named;
    int drags = 0;
    Preview()->SetDragLoop([&](TDragFileData* data) {
        ++drags;
        visibleInDrag = form_->isVisible();
        formats = data->formats();
        path = data->OfferedPath();
        named = data->data(kUriListFormat);
        filesInDrag = FilesWritten();
        held_.reset(data);
        return Qt::CopyAction;
    });
    DragFromThePicture();
    ASSERT_EQ(drags, 1);
    EXPECT_TRUE(visibleInDrag) << "the window holding the picture stays where it is";
    EXPECT_EQ(formats, (QStringList{kUriListFormat, kCopiedFilesFormat}));
    // The work file's name, as the card's drag offers it: in the documents folder, after the title.
    EXPECT_TRUE(path.startsWith(docs_.path() + u'/')) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/Shot.png"))) << path.toStdString();
    EXPECT_EQ(named, QUrl::fromLocalFile(path).toEncoded() + "\r\n");
    EXPECT_TRUE(filesInDrag.isEmpty());
    EXPECT_TRUE(FilesWritten().isEmpty()) << "written only when the target asks";
    EXPECT_EQ(held_->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(QImage(path).size(), QSize(40, 30));
    EXPECT_EQ(FilesWritten(), QStringList{path});
    EXPECT_EQ(fake_->recentDocuments, QStringList{path});
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->CaptureHeld()) << "dragging out never discards the capture";
}

TEST_F(MainFormPreviewTest, ARefusedDropFromThePictureWritesNothing) {
    fake_->placesWindows = false;
    Finish();
    Preview()->SetDragLoop([&](TDragFileData* data) {
        held_.reset(data);
        return Qt::IgnoreAction;
    });
    DragFromThePicture();
    ASSERT_TRUE(held_);
    EXPECT_TRUE(held_->urls().isEmpty());
    EXPECT_TRUE(held_->data(kCopiedFilesFormat).isEmpty());
    EXPECT_TRUE(FilesWritten().isEmpty());
    EXPECT_TRUE(fake_->recentDocuments.isEmpty());
}

} // namespace
