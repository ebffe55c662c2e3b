// The history tab in the main window: every confirmed capture lands there whatever follows it, newest
// first, and its commands work on the entry chosen.
#include "ConfigHome.h"
#include "FindControl.h"
#include "VexmorMain.h"

#include "CaptureHistory.h"
#include "FakePlatform.h"
#include "Thumb.h"

#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class HistoryPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        configHome_.emplace(config_.path());
        fake_ = InstallFakePlatform();
        fake_->documents = docs_.path();
        form_ = std::make_unique<TVexmorMainForm>();
        Get<QCheckBox>(*form_, "AlwaysCBBox")->setChecked(false);
        // An action that never shows the window: the capture is recorded all the same.
        Get<QComboBox>(*form_, "AfterCaptureSel")->setCurrentIndex(3);
    }
    void TearDown() override {
        form_.reset();
        delete ThumbForm;
        ThumbForm = nullptr;
        configHome_.reset();
    }
    void Capture(const QString& title, QSize size, uint32_t colour, QPoint place = {}) {
        form_->SetCaptureTexts(title, QString());
        TDIB capture(size.width(), size.height(), 32);
        capture.FillRect(QRect(QPoint(0, 0), size), colour, 256);
        TDIB flat(size.width(), size.height(), 24);
        form_->StoreCapture(capture, flat, TDIB(), QPointF(), QRect(place, size));
        form_->CaptureFinished();
        form_->History().WaitForWrites();
    }
    QString RowText(int row) { return List()->model()->index(row, 0).data().toString(); }
    QListView* List() { return Get<QListView>(*form_, "HistoryList"); }
    void Select(int row) { List()->setCurrentIndex(List()->model()->index(row, 0)); }

    QTemporaryDir config_, docs_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
};

TEST_F(HistoryPageTest, ListsTheCapturesNewestFirstAndDeletesTheChosenOne) {
    Capture(QStringLiteral("first"), QSize(40, 30), 0xFF2040C0u);
    Capture(QStringLiteral("second"), QSize(300, 20), 0xFFC04020u, QPoint(50, 60));
    form_->ShowHistory();
    ASSERT_TRUE(form_->isVisible());
    EXPECT_EQ(Get<QTabWidget>(*form_, "SheetSelect")->currentWidget()->objectName(), "HistorySheet");

    ASSERT_EQ(List()->model()->rowCount(), 2);
    EXPECT_TRUE(RowText(0).contains(QStringLiteral("second\n300 × 20"))) << RowText(0).toStdString();
    EXPECT_TRUE(RowText(1).contains(QStringLiteral("first\n40 × 30"))) << RowText(1).toStdString();
    // The small picture, scaled to 120 x 8, in the middle of the thumbnails' common box.
    const QImage thumb = List()->model()->index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    ASSERT_EQ(thumb.size(), QSize(120, 80));
    EXPECT_EQ(thumb.pixel(60, 40), 0xFFC04020u);
    EXPECT_EQ(qAlpha(thumb.pixel(60, 35)), 0);

    // Nothing chosen: no command; chosen: every command.
    auto* del = Get<QPushButton>(*form_, "HistoryDeleteBtn");
    auto* pin = Get<QPushButton>(*form_, "HistoryPinBtn");
    EXPECT_FALSE(del->isEnabled());
    Select(0);
    EXPECT_TRUE(del->isEnabled());
    EXPECT_TRUE(pin->isEnabled());

    // Dragged out, an entry is its picture file.
    const std::unique_ptr<QMimeData> drag(List()->model()->mimeData({List()->model()->index(0, 0)}));
    ASSERT_NE(drag, nullptr);
    ASSERT_EQ(drag->urls().size(), 1);
    const QString second = drag->urls()[0].toLocalFile();
    EXPECT_TRUE(QFileInfo(second).isFile()) << second.toStdString();

    // A pin of the picture itself, over the place it was taken.
    pin->click();
    ASSERT_EQ(form_->Pins().Pins().size(), 1u);
    const TPinnedCapture& pinned = form_->Pins().Pins()[0]->Capture();
    EXPECT_EQ(pinned.desktopRect, QRect(50, 60, 300, 20));
    EXPECT_EQ(form_->Pins().Pins()[0]->Picture().GetPixel(150, 10) & 0xFFFFFFu, 0xC04020u);

    del->click();
    form_->History().WaitForWrites();
    ASSERT_EQ(List()->model()->rowCount(), 1);
    EXPECT_TRUE(RowText(0).contains(QStringLiteral("first")));
    EXPECT_FALSE(QFileInfo::exists(second));
}

// A picture removed behind the program's back: the command says so, and the entry leaves the list.
TEST_F(HistoryPageTest, APictureThatHasGoneLeavesTheList) {
    Capture(QStringLiteral("gone"), QSize(20, 20), 0xFF808080u);
    form_->ShowHistory();
    Select(0);
    const QString path = form_->History().PicturePath(form_->History().Entries()[0]);
    ASSERT_TRUE(QFile::remove(path));
    QString told;
    QTimer::singleShot(0, [&told] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told = box->text();
            box->accept();
        }
    });
    Get<QPushButton>(*form_, "HistoryCopyBtn")->click();
    EXPECT_TRUE(told.contains(path)) << told.toStdString();
    EXPECT_EQ(List()->model()->rowCount(), 0);
}

} // namespace
