// The picture save dialog: its type list, the default extension that follows the chosen type, the
// preview pane, and the dialog service the save-as command opens.
#include "Export.h"
#include "ImageEncoders.h"
#include "OutputTestSupport.h"
#include "SavePictureDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(SavePictureDialog, TypeListFromTheProgramsFilterText) {
    EXPECT_EQ(NameFiltersFromWindowsFilter(PictureFilter()),
              QStringList({QStringLiteral("PNG图像(*.png)"), QStringLiteral("JPEG图像(*.jpg *.jpeg)"),
                           QStringLiteral("位图(*.bmp)"), QStringLiteral("WebP图像(*.webp)"),
                           QStringLiteral("AVIF图像(*.avif)")}));
    TSavePictureDialog dialog;
    EXPECT_EQ(dialog.nameFilters().size(), 5);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite)) << "replacing a file asks first";
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog.isSizeGripEnabled());
}

TEST(SavePictureDialog, DefaultExtensionFollowsTheType) {
    TSavePictureDialog dialog;
    for (int index : {1, 2, 3, 4, 5}) {
        dialog.SetFilterIndex(index);
        dialog.UpdateDefaultExt();
        EXPECT_EQ(dialog.FilterIndex(), index);
        EXPECT_EQ(dialog.defaultSuffix(), DefaultExtForFilter(index));
    }
    EXPECT_EQ(DefaultExtForFilter(1), "png");
    EXPECT_EQ(DefaultExtForFilter(2), "jpg");
    EXPECT_EQ(DefaultExtForFilter(3), "bmp");
    EXPECT_EQ(DefaultExtForFilter(4), "webp");
    EXPECT_EQ(DefaultExtForFilter(5), "avif");
    EXPECT_EQ(DefaultExtForFilter(9), "avif");
    // The user picks another type in the dialog's type list.
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    dialog.SetFilterIndex(1);
    dialog.UpdateDefaultExt();
    types->setCurrentIndex(2);
    emit types->activated(2); // what a user's choice in the list emits
    emit types->textActivated(types->itemText(2));
    EXPECT_EQ(dialog.FilterIndex(), 3);
    EXPECT_EQ(dialog.defaultSuffix(), "bmp");
}

TEST(SavePictureDialog, PreviewShowsTheHighlightedPicture) {
    QTemporaryDir dir;
    const QString picture = dir.filePath("p.png");
    ASSERT_TRUE(ComposeGradient(400, 100, 32).ToQImage().save(picture));
    TSavePictureDialog dialog;
    auto* pane = dialog.findChild<QLabel*>(QStringLiteral("PreviewPane"));
    ASSERT_NE(pane, nullptr);
    emit dialog.currentChanged(picture);
    EXPECT_EQ(dialog.PreviewFile(), picture);
    EXPECT_EQ(pane->pixmap().size(), QSize(200, 50)) << "scaled into the pane, proportions kept";
    emit dialog.currentChanged(dir.filePath("not a picture.txt"));
    EXPECT_TRUE(dialog.PreviewFile().isEmpty());
    EXPECT_TRUE(pane->pixmap().isNull());

    // WebP and AVIF files, which Qt reads only with plugins that may be missing: red, channels in order.
    TDIB red(400, 100, 32);
    red.FillRect(QRect(0, 0, 400, 100), 0xFFE01010u);
    for (const char* name : {"p.webp", "p.avif"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(name[2] == 'w' ? WriteWebp(red, true, 100, file) : WriteAvif(red, true, 100, file));
        file.close();
        emit dialog.currentChanged(file.fileName());
        ASSERT_EQ(pane->pixmap().size(), QSize(200, 50)) << name;
        EXPECT_EQ(pane->pixmap().toImage().pixel(100, 25), 0xFFE01010u) << name;
    }
}

TEST(SavePictureDialog, ServiceOpensOnNameAndTypeAndReportsTheChoice) {
    QTemporaryDir dir;
    const TExportServices services = TExportServices::Defaults();
    QString seenSuffix;
    int seenFilter = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TSavePictureDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seenFilter = dialog->FilterIndex();
        seenSuffix = dialog->defaultSuffix();
        dialog->setDirectory(dir.path());
        dialog->selectFile(dir.filePath("typed"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const TSaveDialogResult result = services.saveDialog(nullptr, "shot", 2);
    EXPECT_EQ(seenFilter, 2);
    EXPECT_EQ(seenSuffix, "jpg");
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(result.filterIndex, 2);
    EXPECT_EQ(result.fileName, dir.filePath("typed.jpg")) << "a name without extension gets the type's";
}

TEST(SavePictureDialog, ServiceCancelled) {
    const TExportServices services = TExportServices::Defaults();
    QTimer::singleShot(0, [] {
        if (auto* dialog = QApplication::activeModalWidget()) qobject_cast<QDialog*>(dialog)->reject();
    });
    EXPECT_FALSE(services.saveDialog(nullptr, "shot", 1).accepted);
}

} // namespace
