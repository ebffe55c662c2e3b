// The clipboard's picture: what it serves from the raw copy and from the spooled PNG, that the raw
// copy is freed after the switch, and that a failing spool, a newer copy, deleting the picture or ending
// the program while the worker runs all leave a working clipboard and no crash.
#include "ClipboardPicture.h"
#include "OutputTestSupport.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

// Turns the event loop until the condition holds (queued results arrive through it).
bool SpinUntil(const std::function<bool()>& condition, int ms = 20000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Holds a worker before its encode until Open(); opens itself when destroyed so no worker waits forever.
class TGate {
  public:
    TGate() : future_(promise_.get_future().share()) {}
    ~TGate() { Open(); }
    std::function<void()> Hook() {
        auto future = future_;
        return [future] { future.wait(); };
    }
    void Open() {
        if (!opened_) promise_.set_value();
        opened_ = true;
    }

  private:
    std::promise<void> promise_;
    std::shared_future<void> future_;
    bool opened_ = false;
};

// Every pixel of a decoded picture (0xAARRGGBB per pixel) against the source; `alpha` also compares alpha.
void ExpectSamePixels(const TDIB& want, const std::function<uint32_t(int, int)>& got, int gotWidth,
                      int gotHeight, bool alpha, const char* what) {
    ASSERT_EQ(gotWidth, want.Width()) << what;
    ASSERT_EQ(gotHeight, want.Height()) << what;
    const uint32_t mask = alpha ? 0xFFFFFFFFu : 0x00FFFFFFu;
    for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x)
            ASSERT_EQ(got(x, y) & mask, want.GetPixel(x, y) & mask) << what << " at " << x << "," << y;
}

void ExpectPngOf(const QByteArray& png, const TDIB& want) {
    const TDecodedPng decoded = DecodePng(png);
    ASSERT_TRUE(decoded.ok) << "image/png does not decode";
    ExpectSamePixels(
        want,
        [&](int x, int y) {
            const uint8_t* p = decoded.pixels.data() + (size_t(y) * decoded.width + x) * decoded.channels;
            return 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        },
        decoded.width, decoded.height, false, "image/png");
}

void ExpectBmpOf(const QByteArray& bmp, const TDIB& want) {
    ASSERT_TRUE(bmp.startsWith("BM")) << "image/bmp is no BMP file";
    TDIB decoded;
    ASSERT_NO_THROW(decoded.LoadFromBmpData(bmp));
    ExpectSamePixels(
        want, [&](int x, int y) { return decoded.GetPixel(x, y); }, decoded.Width(), decoded.Height(), false,
        "image/bmp");
}

void ExpectImageOf(const QImage& image, const TDIB& want) {
    ASSERT_FALSE(image.isNull()) << "no in-process image";
    ExpectSamePixels(
        want, [&](int x, int y) { return uint32_t(image.pixel(x, y)); }, image.width(), image.height(), false,
        "application/x-qt-image");
}

// Everything the picture serves, compared with the source.
void ExpectServes(const QMimeData& data, const TDIB& want) {
    const QStringList formats = data.formats();
    for (const char* format : {"image/png", "image/bmp", "application/x-qt-image"})
        EXPECT_TRUE(formats.contains(QLatin1String(format))) << format;
    EXPECT_TRUE(data.hasImage());
    ExpectPngOf(data.data("image/png"), want);
    ExpectBmpOf(data.data("image/bmp"), want);
    ExpectImageOf(qvariant_cast<QImage>(data.imageData()), want);
}

bool WaitForWorkers() {
    return SpinUntil([] { return TClipboardPicture::RunningWorkers() == 0; });
}

bool WaitSpoolResult(TClipboardPicture& picture, bool* spooled) {
    bool done = false;
    QObject::connect(&picture, &TClipboardPicture::SpoolFinished, [&](bool ok) {
        done = true;
        *spooled = ok;
    });
    return SpinUntil([&] { return done; });
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// ---- what is served, before and after the switch ---------------------------------------------------

struct TPictureCase {
    const char* name;
    int width, height, bitCount;
};

class ClipboardPictureServes : public ::testing::TestWithParam<TPictureCase> {};

TEST_P(ClipboardPictureServes, TheSamePixelsFromTheRawCopyAndFromTheFile) {
    const TPictureCase c = GetParam();
    const TDIB source = c.bitCount == 0 ? ComposeLassoCapture(c.width, c.height).flat
                                        : ComposeGradient(c.width, c.height, c.bitCount);
    QTemporaryDir spool;
    TGate gate;
    TClipboardPicture picture(source, {{spool.path()}, 1, gate.Hook()});
    ASSERT_FALSE(picture.Spooled());
    ExpectServes(picture, source);

    gate.Open();
    bool spooled = false;
    ASSERT_TRUE(WaitSpoolResult(picture, &spooled));
    ASSERT_TRUE(spooled);
    EXPECT_TRUE(picture.Spooled());
    EXPECT_TRUE(FilesIn(spool.path()).isEmpty())
        << "the spool file has a name: " << FilesIn(spool.path()).join(' ').toStdString();
    ExpectServes(picture, source);
}

INSTANTIATE_TEST_SUITE_P(Pictures, ClipboardPictureServes,
                         ::testing::Values(TPictureCase{"FlatCapture", 120, 80, 0},
                                           TPictureCase{"OddWidth24", 67, 5, 24},
                                           TPictureCase{"OnePixel", 1, 1, 24},
                                           TPictureCase{"Gradient32", 33, 17, 32}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClipboardPicture, EmptyImageOffersNothingAndStartsNoWorker) {
    const int before = TClipboardPicture::RunningWorkers();
    TClipboardPicture picture{TDIB()};
    EXPECT_TRUE(picture.formats().isEmpty());
    EXPECT_FALSE(picture.hasImage());
    EXPECT_TRUE(picture.data("image/png").isEmpty());
    EXPECT_EQ(TClipboardPicture::RunningWorkers(), before);
}

// ---- the raw picture is let go ---------------------------------------------------------------------

TEST(ClipboardPicture, SharesTheSourceUntilTheSwitch) {
    const TDIB source = ComposeGradient(301, 203, 24);
    const int sourceRefs = source.RefCount();
    TGate gate;
    TClipboardPicture picture(source, {{}, 1, gate.Hook()});
    EXPECT_EQ(source.RefCount(), sourceRefs + 1) << "one share, no copy";
    EXPECT_TRUE(picture.HoldsRawPicture());

    gate.Open();
    bool spooled = false;
    ASSERT_TRUE(WaitSpoolResult(picture, &spooled));
    ASSERT_TRUE(spooled);
    EXPECT_FALSE(picture.HoldsRawPicture());
    EXPECT_EQ(source.RefCount(), sourceRefs) << "the raw pixels outlive the switch";
}

TEST(ClipboardPicture, CallerDropsItsImageAtOnce) {
    // As the main window does when it discards the capture right after copying it.
    const TDIB want = ComposeLassoCapture(97, 61).flat;
    TGate gate;
    std::unique_ptr<TClipboardPicture> picture;
    {
        TDIB held;
        held.CreateCopy(want, true);
        picture = std::make_unique<TClipboardPicture>(held, TClipboardPictureOptions{{}, 1, gate.Hook()});
    }
    gate.Open();
    bool spooled = false;
    ASSERT_TRUE(WaitSpoolResult(*picture, &spooled));
    ASSERT_TRUE(spooled);
    ExpectServes(*picture, want);
}

// ---- a spool that cannot be written ----------------------------------------------------------------

struct TSpoolCase {
    const char* name;
    QStringList folders;
    bool spooled;
};

class ClipboardPictureSpool : public ::testing::TestWithParam<TSpoolCase> {};

TEST_P(ClipboardPictureSpool, FailingFoldersKeepTheRawCopyServing) {
    const TSpoolCase c = GetParam();
    QTemporaryDir good;
    QStringList folders = c.folders;
    folders.replaceInStrings("<good>", good.path());
    const TDIB source = ComposeGradient(64, 48, 24);
    TClipboardPicture picture(source, {folders, 1, {}});
    bool spooled = !c.spooled;
    ASSERT_TRUE(WaitSpoolResult(picture, &spooled));
    EXPECT_EQ(spooled, c.spooled);
    EXPECT_EQ(picture.Spooled(), c.spooled);
    EXPECT_EQ(picture.HoldsRawPicture(), !c.spooled) << "the raw picture goes only when the file holds it";
    ExpectServes(picture, source);
    EXPECT_TRUE(FilesIn(good.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ClipboardPictureSpool,
    ::testing::Values(TSpoolCase{"Missing", {"/nonexistent/vexmor-spool"}, false},
                      TSpoolCase{"NotWritable", {"/proc"}, false},
                      TSpoolCase{"NotAFolder", {"/dev/null"}, false},
                      TSpoolCase{"SecondTakesIt", {"/nonexistent/vexmor-spool", "<good>"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- newer copies, deletion and exit while the worker runs -----------------------------------------

TEST(ClipboardPicture, SecondCopyWhileTheFirstEncodesIsWhatTheClipboardServes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const TDIB first = ComposeGradient(90, 60, 24);
    const TDIB second = ComposeLassoCapture(70, 50).flat;
    TGate firstGate;
    auto* firstPicture = new TClipboardPicture(first, {{}, 1, firstGate.Hook()});
    clipboard->setMimeData(firstPicture);
    auto* secondPicture = new TClipboardPicture(second);
    // Replacing deletes the first picture, whose worker still waits; the delete waits for it.
    std::thread opener([&firstGate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstGate.Open();
    });
    clipboard->setMimeData(secondPicture);
    opener.join();
    ASSERT_TRUE(WaitForWorkers());
    QCoreApplication::processEvents();
    ASSERT_EQ(clipboard->mimeData(), secondPicture);
    EXPECT_TRUE(secondPicture->Spooled());
    ExpectServes(*clipboard->mimeData(), second);
    ExpectImageOf(clipboard->image(), second);
    clipboard->clear();
}

TEST(ClipboardPicture, DeletedWhileTheWorkerWaitsOrEncodes) {
    {
        // The worker still waits when the picture goes: deleting it waits for the worker in turn.
        TGate gate;
        auto* picture = new TClipboardPicture(ComposeGradient(40, 30, 24), {{}, 1, gate.Hook()});
        std::thread opener([&gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate.Open();
        });
        delete picture;
        opener.join();
        EXPECT_EQ(TClipboardPicture::RunningWorkers(), 0) << "the worker outlived its picture";
    }
    {
        // A big picture whose source is dropped at once and whose worker is mid-encode at the delete.
        std::promise<void> running;
        TDIB source = ComposeGradient(3000, 2000, 24);
        auto* picture = new TClipboardPicture(source, {{}, 1, [&running] { running.set_value(); }});
        source.Clear();
        running.get_future().wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        delete picture;
        EXPECT_EQ(TClipboardPicture::RunningWorkers(), 0) << "the worker outlived its picture";
    }
    QCoreApplication::processEvents(); // a stale queued result (if any) must find nothing to call
}

TEST(ClipboardPictureExitChild, CopiesAndLeaves) {
    if (qEnvironmentVariableIsEmpty("VEXMOR_CLIPBOARD_EXIT_CHILD"))
        GTEST_SKIP() << "runs inside ClipboardPicture.ExitWhileEncoding";
    QGuiApplication::clipboard()->setMimeData(new TClipboardPicture(ComposeGradient(3840, 2160, 24)));
    EXPECT_EQ(TClipboardPicture::RunningWorkers(), 1);
}

TEST(ClipboardPicture, ExitWhileEncodingEndsCleanly) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEXMOR_CLIPBOARD_EXIT_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ClipboardPictureExitChild.*"});
    ASSERT_TRUE(child.waitForStarted(10000));
    const bool finished = child.waitForFinished(60000);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    const QByteArray output = child.readAll();
    ASSERT_TRUE(finished) << "the program hangs at exit while encoding";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.constData();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

} // namespace
