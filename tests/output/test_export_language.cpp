// The export's texts and names in the interface language: the default file name, the work folder
// (an existing folder under the other language's name stays in use), the error box and the picture
// dialog's types and title.
#include "Export.h"
#include "FakePlatform.h"
#include "InterfaceLanguage.h"
#include "SavePictureDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kChineseFolder = QStringLiteral("我的视频捕获");
const QString kEnglishFolder = QStringLiteral("Vexmor Captures");

// A temporary home whose documents folder is the fake platform's.
class WorkFolderLanguage : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        fake = InstallFakePlatform();
        fake->documents = home.filePath("Documents");
        ASSERT_TRUE(QDir().mkpath(fake->documents));
    }
    QString Documents(const QString& name) const { return fake->documents + u'/' + name; }
    void Make(const QString& name) const { ASSERT_TRUE(QDir().mkdir(Documents(name))) << name.toStdString(); }
    QStringList Folders() const {
        return QDir(fake->documents).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir home;
    std::shared_ptr<TFakeState> fake;
};

TEST_F(WorkFolderLanguage, ChineseMakesItsOwnFolderWhenNoneExists) {
    EXPECT_EQ(WorkFolder(), Documents(kChineseFolder) + u'/');
    EXPECT_EQ(Folders(), QStringList{kChineseFolder});
}

TEST_F(WorkFolderLanguage, EnglishMakesItsOwnFolderWhenNoneExists) {
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    EXPECT_EQ(WorkFolder(), Documents(kEnglishFolder) + u'/');
    EXPECT_EQ(Folders(), QStringList{kEnglishFolder});
}

TEST_F(WorkFolderLanguage, EnglishKeepsUsingTheChineseFolder) {
    Make(kChineseFolder);
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    const QString path = MakeWorkFileName(QStringLiteral("shot"), TImageFormat::Png);
    EXPECT_EQ(path, Documents(kChineseFolder) + QStringLiteral("/shot.png"));
    EXPECT_EQ(Folders(), QStringList{kChineseFolder}) << "no second folder beside the one in use";
}

TEST_F(WorkFolderLanguage, ChineseKeepsUsingTheEnglishFolder) {
    Make(kEnglishFolder);
    EXPECT_EQ(MakeWorkFileName(QStringLiteral("shot"), TImageFormat::Jpeg),
              Documents(kEnglishFolder) + QStringLiteral("/shot.jpg"));
    EXPECT_EQ(Folders(), QStringList{kEnglishFolder});
}

TEST_F(WorkFolderLanguage, WithBothFoldersTheLanguagesOwnIsUsed) {
    Make(kChineseFolder);
    Make(kEnglishFolder);
    EXPECT_EQ(WorkFolder(), Documents(kChineseFolder) + u'/');
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    EXPECT_EQ(WorkFolder(), Documents(kEnglishFolder) + u'/');
}

// A file under the other language's name is no folder to use: the language's own folder is made.
TEST_F(WorkFolderLanguage, AFileUnderTheOtherNameIsNotTaken) {
    QFile blocker(Documents(kEnglishFolder));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(WorkFolder(), Documents(kChineseFolder) + u'/');
    EXPECT_TRUE(QFileInfo(Documents(kChineseFolder)).isDir());
}

TEST(ExportLanguage, TextsAreTheChineseOnesAsWrittenThenEnglish) {
    QTemporaryDir dir;
    EXPECT_EQ(DefaultCaptureName(), QStringLiteral("Vexmor捕获"));
    EXPECT_EQ(SaveErrorText(), QStringLiteral("无法保存捕获图像。"));
    EXPECT_EQ(NoDesktopText(), QStringLiteral("无法找到桌面文件夹。"));
    EXPECT_EQ(ErrorCaption(), QStringLiteral("错误"));
    EXPECT_EQ(PictureFilter(),
              QStringLiteral("PNG图像(*.png)|*.png|JPEG图像(*.jpg;*.jpeg)|*.jpg;*.jpeg|位图(*.bmp)|*.bmp|"
                             "WebP图像(*.webp)|*.webp|AVIF图像(*.avif)|*.avif"));
    {
        TEnglishInterface english;
        ASSERT_TRUE(english.Shown());
        EXPECT_EQ(DefaultCaptureName(), QStringLiteral("Vexmor Capture"));
        EXPECT_EQ(MakeFileName(dir.path(), QString(), TImageFormat::Png),
                  dir.filePath(QStringLiteral("Vexmor Capture.png")));
        EXPECT_EQ(SaveErrorText(), QStringLiteral("Cannot save the captured image."));
        EXPECT_EQ(NoDesktopText(), QStringLiteral("Cannot find the desktop folder."));
        EXPECT_EQ(ErrorCaption(), QStringLiteral("Error"));
        EXPECT_EQ(
            NameFiltersFromWindowsFilter(PictureFilter()),
            QStringList({QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)"),
                         QStringLiteral("Bitmap (*.bmp)"), QStringLiteral("WebP image (*.webp)"),
                         QStringLiteral("AVIF image (*.avif)")}));
    }
    EXPECT_EQ(DefaultCaptureName(), QStringLiteral("Vexmor捕获")) << "Chinese again once English is gone";
}

// The filter's patterns stay the program's own whatever the language: the types still list and
// name the same files.
TEST(ExportLanguage, TheDialogsTypesFilterTheSameFilesInEveryLanguage) {
    const auto patterns = [] {
        QStringList all;
        const QStringList parts = PictureFilter().split(u'|');
        for (qsizetype i = 1; i < parts.size(); i += 2)
            all << parts[i];
        return all;
    };
    const QStringList chinese = patterns();
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    EXPECT_EQ(patterns(), chinese);
    EXPECT_EQ(chinese, QStringList({"*.png", "*.jpg;*.jpeg", "*.bmp", "*.webp", "*.avif"}));
}

TEST(ExportLanguage, AnOpenDialogFollowsALanguageChangeAndKeepsTheType) {
    TSavePictureDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("保存为"));
    dialog.SetFilterIndex(2);
    dialog.UpdateDefaultExt();
    {
        TEnglishInterface english; // every widget receives the change of language
        ASSERT_TRUE(english.Shown());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save As"));
        EXPECT_EQ(dialog.nameFilters().value(0), QStringLiteral("PNG image (*.png)"));
        EXPECT_EQ(dialog.FilterIndex(), 2);
        EXPECT_EQ(dialog.defaultSuffix(), "jpg");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("保存为"));
    EXPECT_EQ(dialog.nameFilters().value(1), QStringLiteral("JPEG图像(*.jpg *.jpeg)"));
    EXPECT_EQ(dialog.FilterIndex(), 2);
}

} // namespace
