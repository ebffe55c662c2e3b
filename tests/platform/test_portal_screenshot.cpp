#include "FakePortal.h"
#include "InterfaceLanguage.h"
#include "PortalScreenshot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

namespace T = PortalScreenshotText;

// 7x5, every pixel different, red and blue unequal so that a swap shows.
QImage TestPicture() {
    QImage image(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(10 + x * 30, 20 + y * 40, (x * 7 + y * 13 + 3) % 256));
    return image;
}

class PortalScreenshot : public ::testing::Test {
  protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(portal.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(QDir().mkpath(Pictures()));
        ASSERT_TRUE(TestPicture().save(Source(), "PNG"));
    }
    void StartPortal(const QString& mode, QStringList extra = {}) {
        QString error;
        ASSERT_TRUE(portal.StartPortal(
            QStringList{"--screenshot", mode, "--picture", Source(), "--folder", Pictures()} + extra, &error))
            << error.toStdString();
    }
    QString Source() const { return portal.FolderPath("source.png"); }
    QString Pictures() const { return portal.FolderPath("Pictures"); }
    QStringList PicturesLeft() const { return QDir(Pictures()).entryList(QDir::Files | QDir::System); }
    TPortalScreenGrabber Grabber(QRect bounds = QRect(0, 0, 7, 5), int timeoutMs = 5000) {
        return TPortalScreenGrabber(
            portal.Bus(), [bounds] { return bounds; }, timeoutMs);
    }

    TFakePortal portal;
};

// The pixel the grab should hold at `p` (desktop coordinates): the picture's, or black beyond it.
QRgb Expected(const QImage& picture, QPoint p, QPoint origin) {
    const QPoint at = p - origin;
    return picture.rect().contains(at) ? picture.pixel(at) & 0xFFFFFF : 0;
}

TEST_F(PortalScreenshot, RectanglesGetThePicturesPixelsAndBlackBeyondIt) {
    struct Row {
        const char* name;
        QRect bounds; // the desktop; the picture's top-left is its top-left
        QRect rect;
    };
    const Row rows[] = {
        {"whole", {0, 0, 7, 5}, {0, 0, 7, 5}},
        {"inside", {0, 0, 7, 5}, {2, 1, 3, 3}},
        {"one_pixel", {0, 0, 7, 5}, {6, 4, 1, 1}},
        {"past_the_bottom_right", {0, 0, 7, 5}, {4, 3, 6, 5}},
        {"before_the_top_left", {0, 0, 7, 5}, {-2, -1, 4, 3}},
        {"around_it", {0, 0, 7, 5}, {-1, -1, 9, 7}},
        {"desktop_left_of_zero", {-3, -2, 7, 5}, {-3, -2, 2, 2}},
        {"wholly_beyond", {0, 0, 7, 5}, {10, 10, 2, 2}},
    };
    StartPortal("ok");
    const QImage picture = TestPicture();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TPortalScreenGrabber grabber = Grabber(row.bounds);
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(row.rect, out);
        ASSERT_TRUE(status.ok) << status.reason.toStdString();
        ASSERT_EQ(out.width, row.rect.width());
        ASSERT_EQ(out.height, row.rect.height());
        ASSERT_EQ(out.stride, out.width * 4);
        int wrong = 0;
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) {
                const uint8_t* px = out.pixels.data() + size_t(y) * out.stride + size_t(x) * 4;
                const QRgb want = Expected(picture, row.rect.topLeft() + QPoint(x, y), row.bounds.topLeft());
                if (px[0] != qBlue(want) || px[1] != qGreen(want) || px[2] != qRed(want)) ++wrong;
            }
        EXPECT_EQ(wrong, 0);

        // The held grab covers the part with picture behind it, addressed from that part's corner.
        std::shared_ptr<THeldGrab> held;
        ASSERT_TRUE(grabber.GrabHeld(row.rect, held).ok);
        const QRect covered = row.rect.translated(-row.bounds.topLeft()).intersected(picture.rect());
        if (covered.isEmpty()) {
            EXPECT_FALSE(held);
        } else {
            ASSERT_TRUE(held);
            EXPECT_EQ(held->part, covered.translated(row.bounds.topLeft() - row.rect.topLeft()));
            const uint8_t* first = held->bits;
            const QRgb want = picture.pixel(covered.topLeft());
            EXPECT_EQ(first[0], qBlue(want));
            EXPECT_EQ(first[2], qRed(want));
        }
        EXPECT_TRUE(PicturesLeft().isEmpty()) << PicturesLeft().join(' ').toStdString();
    }
    // What was asked: no dialog, a fresh token each time, no parent window.
    const QList<QJsonArray> calls = portal.CallsOf("Screenshot");
    ASSERT_EQ(calls.size(), 2 * int(std::size(rows)));
    QStringList tokens;
    for (const QJsonArray& args : calls) {
        EXPECT_EQ(args[0].toString(), "");
        const QJsonObject options = args[1].toObject();
        EXPECT_TRUE(options["interactive"].isBool());
        EXPECT_FALSE(options["interactive"].toBool(true));
        tokens << options["handle_token"].toString();
    }
    tokens.removeDuplicates();
    EXPECT_EQ(tokens.size(), calls.size());
}

// An answer sent before the call returns reaches the request's expected path only; a portal older
// than the path convention answers at the handle it returned.
TEST_F(PortalScreenshot, AnswersAtTheExpectedOrTheReturnedPathAreHeard) {
    for (const char* mode : {"early", "legacy"}) {
        SCOPED_TRACE(mode);
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(
            own.StartPortal({"--screenshot", mode, "--picture", Source(), "--folder", Pictures()}, &error))
            << error.toStdString();
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 5000);
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(1, 1, 2, 2), out);
        ASSERT_TRUE(status.ok) << status.reason.toStdString();
        EXPECT_EQ(out.pixels[2], qRed(TestPicture().pixel(1, 1)));
        EXPECT_TRUE(PicturesLeft().isEmpty());
    }
}

// The reasons reach the user after "无法捕获屏幕：": Chinese as written, or the English catalogue's.
TEST(PortalScreenshotReasons, FollowTheInterfaceLanguage) {
    QString (*const reasons[])() = {T::Refused,      T::Cancelled,  T::TimedOut, T::NoPortal,
                                    T::NotLocalFile, T::Unreadable, T::NoCursor, T::EmptyRect};
    EXPECT_EQ(T::Cancelled(), QStringLiteral("屏幕截图请求已被取消"));
    EXPECT_EQ(T::NoPortal(), QStringLiteral("桌面门户不提供屏幕截图"));
    QStringList chinese;
    for (auto reason : reasons)
        chinese << reason();
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    EXPECT_EQ(T::Cancelled(), QStringLiteral("the screenshot request was canceled"));
    QStringList seen;
    for (size_t i = 0; i < std::size(reasons); ++i) {
        const QString text = reasons[i]();
        EXPECT_NE(text, chinese[qsizetype(i)]) << "untranslated: " << chinese[qsizetype(i)].toStdString();
        EXPECT_FALSE(seen.contains(text)) << "two reasons read the same: " << text.toStdString();
        seen << text;
    }
}

TEST_F(PortalScreenshot, RefusalsAndSilenceFailWithTheirReasons) {
    struct Row {
        const char* mode; // nullptr: no portal on the bus
        QString reason;
    };
    const Row rows[] = {
        {"cancel", T::Cancelled()}, {"fail", T::Refused()},   {"absent", T::NoPortal()},
        {"silent", T::TimedOut()},  {nullptr, T::NoPortal()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode ? row.mode : "no portal");
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        if (row.mode) {
            ASSERT_TRUE(own.StartPortal(
                {"--screenshot", row.mode, "--picture", Source(), "--folder", Pictures()}, &error))
                << error.toStdString();
        }
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 400, 400);
        QElapsedTimer clock;
        clock.start();
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(0, 0, 7, 5), out);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.reason, row.reason);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(out.pixels.empty());
        bool called = false;
        EXPECT_FALSE(
            grabber.GrabTo(QRect(0, 0, 2, 2), [&](const QRect&, const uint8_t*, int) { called = true; }).ok);
        EXPECT_FALSE(called);
        if (row.mode && QString(row.mode) == "silent") {
            // The request given up on is closed, so that the portal does not answer it later.
            const QList<QJsonArray> closed = own.CallsOf("Request.Close");
            EXPECT_EQ(closed.size(), 2);
        }
    }
}

// A portal without a dialog has nobody to cancel: its "cancelled" is a lost picture, asked for once
// more. Where the portal asks the user, "cancelled" is the user's answer and stands.
TEST_F(PortalScreenshot, ALostPictureIsAskedForOnceMoreUnlessTheUserWasAsked) {
    for (const bool asks : {false, true}) {
        SCOPED_TRACE(asks ? "asks the user" : "asks nobody");
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal(
            {"--screenshot", "lose-once", "--picture", Source(), "--folder", Pictures()}, &error))
            << error.toStdString();
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 2000, 2000, asks);
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(0, 0, 7, 5), out);
        EXPECT_EQ(status.ok, !asks) << status.reason.toStdString();
        EXPECT_EQ(status.reason, asks ? T::Cancelled() : QString());
        EXPECT_EQ(own.CallsOf("Screenshot").size(), asks ? 1 : 2);
    }
}

// Once the portal has taken the request (GNOME's then shows its permission dialog) the answer is
// waited for well past the call's own time-out; another capture asked for meanwhile withdraws it, and
// a portal that leaves the bus ends the wait with that said.
TEST_F(PortalScreenshot, AWaitForTheUserEndsOnlyByWithdrawalOrThePortalLeaving) {
    for (const bool withdraw : {true, false}) {
        SCOPED_TRACE(withdraw ? "withdrawn" : "portal gone");
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal({"--screenshot", "silent", "--picture", Source(), "--folder", Pictures()},
                                    &error))
            << error.toStdString();
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 200, 60000, true);
        EXPECT_TRUE(grabber.AsksPermissionFirst());
        QTimer::singleShot(800, [&] {
            if (withdraw)
                grabber.Withdraw();
            else
                own.StopPortal();
        });
        QElapsedTimer clock;
        clock.start();
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(0, 0, 7, 5), out);
        EXPECT_GE(clock.elapsed(), 700);
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.withdrawn, withdraw);
        EXPECT_EQ(status.reason, withdraw ? QString() : T::Vanished());
        if (withdraw) {
            EXPECT_EQ(own.CallsOf("Request.Close").size(), 1);
        }
        grabber.Withdraw(); // nothing waits now: a no-op
    }
}

TEST_F(PortalScreenshot, OnlyLocalFilesAreRead) {
    const char* uris[] = {"https://127.0.0.1:9/shot.png",
                          "data:image/png;base64,iVBORw0KGgo=", "file://elsewhere/tmp/shot.png", "shot.png",
                          ""};
    for (const char* uri : uris) {
        SCOPED_TRACE(uri);
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal({"--screenshot", "ok", "--uri", uri}, &error)) << error.toStdString();
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 5000);
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(0, 0, 7, 5), out);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.reason, T::NotLocalFile());
    }
}

// Only the file the portal wrote for the request goes: not one that was there before, nor a link
// (whose target stays too). A file written for the request that holds no picture goes as well.
TEST_F(PortalScreenshot, OnlyTheFileWrittenForTheRequestIsRemoved) {
    const QString old = portal.FolderPath("old.png");
    ASSERT_TRUE(QFile::copy(Source(), old));
    const timeval hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimes(QFile::encodeName(old).constData(), hourAgo), 0);
    const QString link = portal.FolderPath("link.png");
    ASSERT_TRUE(QFile::link(Source(), link));
    const QString garbage = portal.FolderPath("garbage.png");
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    const QString fifo = portal.FolderPath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Row {
        QString path;
        bool read;  // the grab succeeds
        bool stays; // the file is still there afterwards
    };
    const Row rows[] = {{old, true, true}, {link, true, true}, {garbage, false, false}, {fifo, false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal({"--screenshot", "ok", "--uri", "file://" + row.path}, &error))
            << error.toStdString();
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 5000);
        TGrabbedImage out;
        const TPlatformStatus status = grabber.Grab(QRect(0, 0, 7, 5), out);
        EXPECT_EQ(status.ok, row.read) << status.reason.toStdString();
        if (!row.read) {
            EXPECT_EQ(status.reason, T::Unreadable());
        }
        struct stat st {};
        EXPECT_EQ(lstat(QFile::encodeName(row.path).constData(), &st) == 0, row.stays);
    }
    EXPECT_TRUE(QFile::exists(Source()));
}

TEST_F(PortalScreenshot, OfferedOnlyWhenThePortalHasTheInterface) {
    // No portal on the bus yet.
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(TPortalScreenGrabber::PortalOffersScreenshot(portal.Bus(), 1000));
    EXPECT_LT(clock.elapsed(), 1500);
    StartPortal("ok");
    EXPECT_TRUE(TPortalScreenGrabber::PortalOffersScreenshot(portal.Bus(), 1000));

    TFakePortal without;
    QString error;
    ASSERT_TRUE(without.StartBus(&error)) << error.toStdString();
    ASSERT_TRUE(without.StartPortal({"--screenshot", "absent"}, &error)) << error.toStdString();
    EXPECT_FALSE(TPortalScreenGrabber::PortalOffersScreenshot(without.Bus(), 1000));

    // The portal has no pointer picture to give.
    TCursorImage cursor;
    const TPlatformStatus status = Grabber().Cursor(cursor);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.reason, T::NoCursor());
}

} // namespace

namespace {

// The user's pictures folder, where KDE's portal saves, made before the request when missing; when it
// cannot be made, the portal's "cancelled" says so.
TEST_F(PortalScreenshot, ThePicturesFolderIsMadeFirstOrItsLackIsTold) {
    struct Row {
        const char* name;
        const char* mode;
        bool fileInTheWay;
        QString message;
    };
    const QString folder = portal.FolderPath("home/Bilder/neu");
    const Row rows[] = {
        {"missing_is_made", "ok", false, {}},
        {"unmakeable_is_told", "cancel", true, T::NoPicturesFolder(folder)},
        {"there_but_cancelled", "cancel", false, T::Cancelled()},
    };
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QString configHome = portal.FolderPath("config");
    ASSERT_TRUE(QDir().mkpath(configHome));
    QFile dirs(configHome + "/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_PICTURES_DIR=\"" + folder.toUtf8() + "\"\n");
    dirs.close();
    qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal({"--screenshot", row.mode, "--picture", Source(), "--folder", Pictures()},
                                    &error))
            << error.toStdString();
        QDir(portal.FolderPath("home")).removeRecursively();
        if (row.fileInTheWay) {
            ASSERT_TRUE(QDir().mkpath(portal.FolderPath("home/Bilder")));
            QFile blocker(folder);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        TPortalScreenGrabber grabber(
            own.Bus(), [] { return QRect(0, 0, 7, 5); }, 5000);
        QImage picture;
        const TPlatformStatus status = grabber.Shoot(picture);
        EXPECT_EQ(status.ok, row.message.isEmpty());
        EXPECT_EQ(status.reason, row.message);
        EXPECT_EQ(QFileInfo(folder).isDir(), !row.fileInTheWay);
    }
    if (config.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", config);
}

} // namespace
