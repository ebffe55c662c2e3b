// The main window's commands on a composed capture: what is written where, which message appears,
// when the capture may go (AfterOperation), and what the recording fakes of the platform received.
#include "AllTools.h"
#include "Export.h"
#include "FakePlatform.h"
#include "InterfaceLanguage.h"
#include "OutputTestSupport.h"
#include "WinTools.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <optional>
#include <thread>

namespace {

class TFakeOwner : public IExportOwner {
  public:
    TComposedCapture cap = ComposeLassoCapture(120, 80);
    TExportSettings settings;
    bool held = true;
    int afterOperations = 0;
    int shows = 0;

    TDIB HeldCaptureImage() const override { return held ? cap.capture : TDIB(); }
    TDIB HeldFlatImage() const override { return held ? cap.flat : TDIB(); }
    TExportSettings ExportSettings() const override { return settings; }
    void AfterOperation() override { ++afterOperations; }
    void ShowCapture() override { ++shows; }
    QWidget* DialogParent() const override { return nullptr; }
};

uint64_t Checksum(const TDIB& dib) {
    return std::accumulate(dib.Bits(), dib.Bits() + dib.Size(), uint64_t(0),
                           [](uint64_t s, uint8_t b) { return s * 31 + b; });
}

class ExportCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = InstallFakePlatform();
        fake->desktop = dir.filePath("Desktop");
        fake->documents = dir.filePath("Documents");
        QDir().mkpath(fake->desktop);
        QDir().mkpath(fake->documents);
        owner.settings.title = "shot";
        exporter.Services().showError = [this](QWidget*, const QString& text, const QString& caption) {
            errors << caption + ": " + text;
        };
        exporter.Services().saveDialog = [this](QWidget*, const QString& name, int filter) {
            dialogCalls << QStringLiteral("%1|%2").arg(name).arg(filter);
            return dialogAnswer;
        };
        captureSum = Checksum(owner.cap.capture);
        flatSum = Checksum(owner.cap.flat);
    }
    void TearDown() override {
        EXPECT_EQ(WaitCursorDepth(), 0) << "the wait cursor was left on";
        EXPECT_EQ(Checksum(owner.cap.capture), captureSum) << "the held capture changed";
        EXPECT_EQ(Checksum(owner.cap.flat), flatSum) << "the held flat image changed";
    }
    QString Desktop(const QString& name) const { return fake->desktop + "/" + name; }
    QString Work(const QString& name) const {
        return fake->documents + QStringLiteral("/我的视频捕获/") + name;
    }
    QStringList Entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    // Wraps the real writer so the disk fills up after `limit` bytes.
    void FailWritesAfter(qint64 limit) {
        exporter.Services().writeFile = [limit](const QString& path, bool replace,
                                                const TWriteFunction& write, QString* error) {
            return WriteImageFile(
                path, replace,
                [&](QIODevice& device) {
                    TFailingDevice full(&device, limit);
                    return write(full);
                },
                error);
        };
    }

    QTemporaryDir dir;
    std::shared_ptr<TFakeState> fake;
    TFakeOwner owner;
    TExporter exporter{owner};
    QStringList errors, dialogCalls;
    TSaveDialogResult dialogAnswer;
    uint64_t captureSum = 0, flatSum = 0;
};

const QString kSaveError = QStringLiteral("错误: 无法保存捕获图像。");

TEST_F(ExportCommands, DesktopSaveNumbersTakenNamesAndRecordsRecentFiles) {
    exporter.ToDesktopBtnClick();
    exporter.ToDesktopBtnClick();
    EXPECT_EQ(Entries(fake->desktop), QStringList({"shot.jpg", "shot_2.jpg"}));
    EXPECT_EQ(fake->recentDocuments, QStringList({Desktop("shot.jpg"), Desktop("shot_2.jpg")}));
    EXPECT_EQ(owner.afterOperations, 2);
    EXPECT_TRUE(errors.isEmpty());
    const TDecodedJpeg jpeg = DecodeJpeg(ReadAll(Desktop("shot.jpg")));
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, 120);
    EXPECT_EQ(jpeg.lumaQuant, ExpectedLumaQuant(90));
}

TEST_F(ExportCommands, DesktopSaveAppliesScalingCommentAndQuality) {
    owner.settings.scaling = 50;
    owner.settings.comment = "note";
    owner.settings.jpegQuality = 40;
    exporter.ToDesktopBtnClick();
    const TDecodedJpeg jpeg = DecodeJpeg(ReadAll(Desktop("shot.jpg")));
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, 60);
    EXPECT_EQ(jpeg.height, 40);
    EXPECT_EQ(jpeg.lumaQuant, ExpectedLumaQuant(40));
}

TEST_F(ExportCommands, WaitCursorShowsWhileTheFileIsWritten) {
    int depthDuringWrite = -1;
    exporter.Services().writeFile = [&](const QString& path, bool replace, const TWriteFunction& write,
                                        QString* error) {
        depthDuringWrite = WaitCursorDepth();
        return WriteImageFile(path, replace, write, error);
    };
    owner.settings.format = TImageFormat::Png;
    exporter.ToDesktopBtnClick();
    EXPECT_EQ(depthDuringWrite, 1);
    EXPECT_EQ(WaitCursorDepth(), 0);
}

TEST_F(ExportCommands, LassoPngWithAndWithoutTransparency) {
    owner.settings.format = TImageFormat::Png;
    for (bool transparent : {true, false}) {
        owner.settings.transparentPng = transparent;
        owner.settings.title = transparent ? "t" : "o";
        exporter.ToDesktopBtnClick();
        const TDecodedPng png = DecodePng(ReadAll(Desktop(owner.settings.title + ".png")));
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.channels, transparent ? 4 : 3);
        const uint8_t* corner = png.pixels.data();
        if (transparent)
            EXPECT_EQ(corner[3], 0);
        else
            EXPECT_EQ(corner[0] | corner[1] | corner[2], 0) << "surroundings are black and opaque";
        QByteArray out;
        EXPECT_EQ(RunTool("pngcheck", {Desktop(owner.settings.title + ".png")}, &out), 0) << out.constData();
    }
}

// WebP and AVIF are written from the capture as PNG is: transparent surroundings with the setting,
// black opaque ones without (the flat image's frosted grey would show the wrong source).
TEST_F(ExportCommands, LassoWebpAndAvifWithAndWithoutTransparency) {
    owner.settings.jpegQuality = 100;
    for (TImageFormat format : {TImageFormat::Webp, TImageFormat::Avif})
        for (bool transparent : {true, false}) {
            owner.settings.format = format;
            owner.settings.transparentPng = transparent;
            owner.settings.title = QStringLiteral("%1%2").arg(int(format)).arg(transparent);
            exporter.ToDesktopBtnClick();
            const QByteArray file = ReadAll(Desktop(owner.settings.title + FormatExtension(format)));
            const TDecodedPicture back = format == TImageFormat::Webp ? DecodeWebp(file) : DecodeAvif(file);
            ASSERT_TRUE(back.ok) << int(format);
            const uint8_t* corner = back.pixels.data();
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(corner), 4),
                      QByteArray::fromHex(transparent ? "00000000" : "000000ff"));
        }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ExportCommands, BmpIsTheFlatImage) {
    owner.settings.format = TImageFormat::Bmp;
    exporter.ToDesktopBtnClick();
    TDIB back;
    back.LoadFromFile(Desktop("shot.bmp"));
    ASSERT_EQ(back.Width(), 120);
    EXPECT_EQ(back.GetPixel(0, 0), owner.cap.flat.GetPixel(0, 0));
    EXPECT_EQ(back.GetPixel(60, 40), owner.cap.flat.GetPixel(60, 40));
}

// The box reads in the language shown at the moment of the failure, Chinese exactly as written.
TEST_F(ExportCommands, TheSaveErrorBoxFollowsTheInterfaceLanguage) {
    FailWritesAfter(500);
    {
        TEnglishInterface english;
        ASSERT_TRUE(english.Shown());
        exporter.ToDesktopBtnClick();
    }
    exporter.ToDesktopBtnClick();
    EXPECT_EQ(errors, QStringList({QStringLiteral("Error: Cannot save the captured image."), kSaveError}));
    EXPECT_TRUE(Entries(fake->desktop).isEmpty());
}

TEST_F(ExportCommands, FormatWithoutSelectionIsWrittenAsItsName) {
    owner.settings.format = ClampFormat(-1); // a stored index outside the list
    exporter.ToDesktopBtnClick();
    EXPECT_EQ(Entries(fake->desktop), QStringList({"shot.png"}));
    EXPECT_TRUE(DecodePng(ReadAll(Desktop("shot.png"))).ok);
    EXPECT_EQ(owner.afterOperations, 1);
}

TEST_F(ExportCommands, DiskFullKeepsTheCaptureAndLeavesNothing) {
    for (TImageFormat format :
         {TImageFormat::Png, TImageFormat::Jpeg, TImageFormat::Bmp, TImageFormat::Webp, TImageFormat::Avif}) {
        owner.settings.format = format;
        // The small capture's WebP and AVIF files are shorter than the others.
        FailWritesAfter(format == TImageFormat::Webp || format == TImageFormat::Avif ? 50 : 500);
        errors.clear();
        exporter.ToDesktopBtnClick();
        EXPECT_EQ(errors, QStringList({kSaveError})) << int(format);
        EXPECT_TRUE(Entries(fake->desktop).isEmpty()) << Entries(fake->desktop).join(',').toStdString();
    }
    EXPECT_EQ(owner.afterOperations, 0) << "a failed save must not discard the capture";
    EXPECT_EQ(owner.shows, 5) << "the window shows the capture for another try";
    EXPECT_TRUE(fake->recentDocuments.isEmpty());
}

TEST_F(ExportCommands, NameAppearingDuringTheWriteIsNotReplaced) {
    exporter.Services().writeFile = [this](const QString& path, bool replace, const TWriteFunction& write,
                                           QString* error) {
        // Another program takes the name while the encoder runs.
        QFile other(path);
        EXPECT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("theirs");
        other.close();
        return WriteImageFile(path, replace, write, error);
    };
    exporter.ToDesktopBtnClick();
    EXPECT_EQ(ReadAll(Desktop("shot.jpg")), QByteArray("theirs"));
    EXPECT_TRUE(DecodeJpeg(ReadAll(Desktop("shot_2.jpg"))).ok);
    EXPECT_EQ(fake->recentDocuments, QStringList({Desktop("shot_2.jpg")}));
}

TEST_F(ExportCommands, SaveAsAddsTheTypeExtensionWithoutReplacingAnotherFile) {
    dialogAnswer = {true, dir.filePath("shot.jpeg"), 1}; // typed "shot.jpeg", type PNG
    owner.settings.title = "a:b";
    owner.settings.format = TImageFormat::Bmp;
    exporter.SaveAsBtnClick();
    EXPECT_EQ(dialogCalls, QStringList({"ab|3"}));
    EXPECT_TRUE(DecodePng(ReadAll(dir.filePath("shot.jpeg.png"))).ok);
    EXPECT_EQ(fake->recentDocuments, QStringList({dir.filePath("shot.jpeg.png")}));
    EXPECT_EQ(owner.afterOperations, 1);
    // The extended name was never confirmed: a second save leaves the first file alone.
    const QByteArray first = ReadAll(dir.filePath("shot.jpeg.png"));
    exporter.SaveAsBtnClick();
    EXPECT_EQ(ReadAll(dir.filePath("shot.jpeg.png")), first);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("shot.jpeg_2.png")));
}

TEST_F(ExportCommands, SaveAsReplacesTheConfirmedFileAndKeepsItWhenTheWriteFails) {
    const QString target = dir.filePath("mine.jpg");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    dialogAnswer = {true, target, 2};

    FailWritesAfter(100);
    exporter.SaveAsBtnClick();
    EXPECT_EQ(errors, QStringList({kSaveError}));
    EXPECT_EQ(ReadAll(target), QByteArray("old contents")) << "a failed save keeps the old file";
    EXPECT_EQ(owner.afterOperations, 0);
    EXPECT_EQ(Entries(dir.path()), QStringList({"mine.jpg"})) << "no temporary file is left";

    exporter.Services().writeFile = WriteImageFile;
    exporter.SaveAsBtnClick();
    EXPECT_TRUE(DecodeJpeg(ReadAll(target)).ok);
    EXPECT_EQ(Entries(dir.path()), QStringList({"mine.jpg"}));
    EXPECT_EQ(owner.afterOperations, 1);
}

TEST_F(ExportCommands, SaveAsCancelledDoesNothing) {
    dialogAnswer = {};
    exporter.SaveAsBtnClick();
    EXPECT_EQ(dialogCalls.size(), 1);
    EXPECT_EQ(owner.afterOperations, 0);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ExportCommands, WithoutCaptureNothingIsWrittenOrShown) {
    owner.held = false;
    dialogAnswer = {true, dir.filePath("x.png"), 1};
    exporter.ToDesktopBtnClick();
    exporter.SaveAsBtnClick();
    exporter.EditBtnClick();
    exporter.PrintBtnClick();
    exporter.EmailBtnClick();
    EXPECT_TRUE(exporter.SaveCapture(Desktop("x"), TImageFormat::Png).isEmpty());
    EXPECT_TRUE(exporter.SaveWorkFile(TImageFormat::Png).isEmpty());
    EXPECT_TRUE(Entries(fake->desktop).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Work("")));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(dialogCalls.isEmpty());
    EXPECT_TRUE(fake->editedFiles.isEmpty() && fake->mails.isEmpty());
    EXPECT_EQ(owner.afterOperations, 0);
}

TEST_F(ExportCommands, BadFormatIndexWritesNothing) {
    EXPECT_TRUE(exporter.SaveCapture(Desktop("x"), TImageFormat(5)).isEmpty());
    EXPECT_TRUE(exporter.SaveCapture(Desktop("x"), TImageFormat(-1)).isEmpty());
    EXPECT_TRUE(Entries(fake->desktop).isEmpty());
}

TEST_F(ExportCommands, EditHandsTheWorkFileOverAsOneArgument) {
    owner.settings.title = "\"; rm -rf ~; \"";
    owner.settings.format = TImageFormat::Jpeg;
    owner.settings.editFormat = TImageFormat::Png;
    exporter.EditBtnClick();
    ASSERT_EQ(fake->editedFiles.size(), 1);
    EXPECT_EQ(fake->editedFiles[0], Work("; rm -rf ~; .png"));
    EXPECT_TRUE(DecodePng(ReadAll(fake->editedFiles[0])).ok) << "the file stays in the work folder";
    EXPECT_EQ(owner.afterOperations, 1);
}

TEST_F(ExportCommands, EditWithoutWorkFolderKeepsTheCapture) {
    // Something that is not a folder stands where the work folder belongs.
    QFile blocker(fake->documents + QStringLiteral("/我的视频捕获"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    exporter.EditBtnClick();
    EXPECT_EQ(errors, QStringList({kSaveError}));
    EXPECT_TRUE(fake->editedFiles.isEmpty());
    EXPECT_EQ(owner.afterOperations, 0);
    EXPECT_EQ(owner.shows, 1);
}

struct MailCase {
    const char* name;
    int mailResult;
    int afterOperations;
};
class MailTest : public ExportCommands, public ::testing::WithParamInterface<MailCase> {};

TEST_P(MailTest, AttachesTheWorkFileAndKeepsIt) {
    fake->mailResult = GetParam().mailResult;
    owner.settings.title = "mail me";
    owner.settings.format = TImageFormat::Png;
    exporter.EmailBtnClick();
    ASSERT_EQ(fake->mails.size(), 1);
    EXPECT_EQ(fake->mails[0].first, "mail me");
    EXPECT_EQ(fake->mails[0].second, QStringList({Work("mail me.png")}));
    EXPECT_TRUE(QFileInfo::exists(Work("mail me.png")))
        << "the mail program reads the file after the helper returns";
    EXPECT_EQ(owner.afterOperations, GetParam().afterOperations);
    EXPECT_TRUE(errors.isEmpty()) << "mail failures are silent";
}

INSTANTIATE_TEST_SUITE_P(Results, MailTest,
                         ::testing::Values(MailCase{"sent", 0, 1}, MailCase{"cancelled", 1, 0},
                                           MailCase{"no_mail_helper", -1, 0},
                                           MailCase{"helper_failed", 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportCommands, MailStopsWhenTheWorkFileCannotBeWritten) {
    FailWritesAfter(0);
    exporter.EmailBtnClick();
    EXPECT_TRUE(fake->mails.isEmpty());
    EXPECT_EQ(errors, QStringList({kSaveError}));
    EXPECT_EQ(owner.afterOperations, 0);
}

TEST_F(ExportCommands, ClipboardGetsTheFlatImageUnscaledWithoutCaption) {
    owner.settings.scaling = 30;
    owner.settings.comment = "not on the clipboard";
    exporter.ToClipboardBtnClick();
    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_EQ(image.size(), QSize(120, 80));
    for (int y = 0; y < 80; y += 7)
        for (int x = 0; x < 120; x += 5)
            ASSERT_EQ(image.pixel(x, y) | 0xFF000000u, owner.cap.flat.GetPixel(x, y)) << x << "," << y;
    EXPECT_EQ(owner.afterOperations, 1);
}

TEST_F(ExportCommands, PrintWritesABmpWorkFileAndPrintsItFittedToThePage) {
    ASSERT_TRUE(HaveTool("pdftoppm")) << "poppler-utils is a test dependency";
    owner.settings.format = TImageFormat::Png;
    owner.settings.title = "print";
    const QString pdf = dir.filePath("out.pdf");
    int dialogs = 0;
    exporter.Services().printDialog = [&](QWidget*, QPrinter& printer) {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    };
    exporter.PrintBtnClick();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(QFileInfo::exists(Work("print.bmp"))) << "printing always writes a BMP work file";
    EXPECT_EQ(owner.afterOperations, 1);
    ASSERT_EQ(RunTool("pdftoppm", {"-r", "40", "-png", "-singlefile", pdf, dir.filePath("page")}), 0);
    const QImage page(dir.filePath("page.png"));
    ASSERT_FALSE(page.isNull());
    // The picture's extent on the page: everything that is not paper white.
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 235) box |= QRect(x, y, 1, 1);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_GT(box.width(), page.width() * 0.8) << "fitted to the page width";
    EXPECT_NEAR(double(box.width()) / box.height(), 1.5, 0.05);
    EXPECT_NEAR((box.left() + box.right()) / 2.0, page.width() / 2.0, 3) << "centred";
    // Points of the picture land where the fitted picture puts them, in their colours.
    for (auto [fx, fy] : {std::pair{0.3, 0.5}, {0.7, 0.5}, {0.05, 0.05}, {0.95, 0.95}}) {
        const QRgb got = page.pixel(box.left() + int(fx * box.width()), box.top() + int(fy * box.height()));
        const uint32_t want = owner.cap.flat.GetPixel(int(fx * 120), int(fy * 80));
        EXPECT_NEAR(qRed(got), int(want >> 16 & 255), 24) << fx << "," << fy;
        EXPECT_NEAR(qGreen(got), int(want >> 8 & 255), 24) << fx << "," << fy;
        EXPECT_NEAR(qBlue(got), int(want & 255), 24) << fx << "," << fy;
    }
}

TEST_F(ExportCommands, PrintCancelledKeepsTheCapture) {
    exporter.Services().printDialog = [](QWidget*, QPrinter&) { return false; };
    exporter.PrintBtnClick();
    EXPECT_EQ(owner.afterOperations, 0);
    EXPECT_TRUE(QFileInfo::exists(Work("shot.bmp")));
}

} // namespace

namespace {

// The bytes made ahead for a drop are the very file the ordinary save writes, in every format and
// with scaling and a caption; a worker thread makes them from the held images without changing them.
struct AheadCase {
    const char* name;
    TImageFormat format;
    int scaling;
    const char* comment;
    bool transparentPng;
};
std::ostream& operator<<(std::ostream& os, const AheadCase& c) {
    return os << c.name;
}
class EncodeAhead : public ExportCommands, public ::testing::WithParamInterface<AheadCase> {};

TEST_P(EncodeAhead, BytesAreTheOrdinarySave) {
    const AheadCase& c = GetParam();
    owner.settings.format = c.format;
    owner.settings.scaling = c.scaling;
    owner.settings.comment = QString::fromUtf8(c.comment);
    owner.settings.transparentPng = c.transparentPng;
    owner.settings.jpegQuality = 77;
    const QString saved = exporter.SaveCapture(Desktop("ordinary"), c.format);
    ASSERT_FALSE(saved.isEmpty());

    std::optional<QByteArray> ahead;
    std::thread worker(
        [&] { ahead = EncodeCaptureBytes(owner.cap.capture, owner.cap.flat, owner.settings, c.format); });
    worker.join();
    ASSERT_TRUE(ahead.has_value());
    EXPECT_EQ(*ahead, ReadAll(saved));
    const QString written = exporter.SaveEncodedCapture(Desktop("ahead"), c.format, *ahead);
    EXPECT_EQ(written, Desktop("ahead") + FormatExtension(c.format));
    EXPECT_EQ(ReadAll(written), ReadAll(saved));
    EXPECT_TRUE(errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodeAhead,
    ::testing::Values(AheadCase{"Png", TImageFormat::Png, 100, "", true},
                      AheadCase{"PngOpaqueScaledCaptioned", TImageFormat::Png, 60, "注释 note", false},
                      AheadCase{"Jpeg", TImageFormat::Jpeg, 100, "", true},
                      AheadCase{"JpegHalfCaptioned", TImageFormat::Jpeg, 50, "note", true},
                      AheadCase{"Bmp", TImageFormat::Bmp, 35, "", true},
                      AheadCase{"WebpTransparent", TImageFormat::Webp, 100, "", true},
                      AheadCase{"WebpOpaqueScaledCaptioned", TImageFormat::Webp, 60, "note", false},
                      AheadCase{"AvifTransparent", TImageFormat::Avif, 100, "", true},
                      AheadCase{"AvifOpaqueHalfCaptioned", TImageFormat::Avif, 50, "注释", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportCommands, EncodeAheadStopsWhenCancelledAndRefusesNothingToWrite) {
    std::atomic_bool cancelled{true};
    EXPECT_FALSE(
        EncodeCaptureBytes(owner.cap.capture, owner.cap.flat, owner.settings, TImageFormat::Png, &cancelled));
    QString error;
    EXPECT_FALSE(
        EncodeCaptureBytes(TDIB(), owner.cap.flat, owner.settings, TImageFormat::Png, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(EncodeCaptureBytes(owner.cap.capture, owner.cap.flat, owner.settings, TImageFormat(7)));
    // The held images are untouched and not shared with anything the encoder kept.
    EXPECT_EQ(owner.cap.capture.RefCount(), 1);
}

TEST_F(ExportCommands, EncodedSaveFailingShowsTheErrorAndLeavesNothing) {
    const std::optional<QByteArray> bytes =
        EncodeCaptureBytes(owner.cap.capture, owner.cap.flat, owner.settings, TImageFormat::Jpeg);
    ASSERT_TRUE(bytes.has_value());
    FailWritesAfter(100);
    EXPECT_TRUE(exporter.SaveEncodedCapture(Desktop("shot"), TImageFormat::Jpeg, *bytes).isEmpty());
    EXPECT_EQ(errors, QStringList({kSaveError}));
    EXPECT_TRUE(Entries(fake->desktop).isEmpty());
    EXPECT_TRUE(exporter.SaveEncodedCapture(Desktop("shot"), TImageFormat(5), *bytes).isEmpty());
    EXPECT_EQ(errors.size(), 1);
}

} // namespace
