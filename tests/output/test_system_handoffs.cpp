// The hand-offs against the real system services: the X clipboard read back by xclip under a private
// Xvfb, and printing through a private CUPS daemon to its cups-pdf queue, the PDF rendered by pdftoppm.
//
// Each scenario runs in a child copy of this test program (with the X platform or the CUPS server of
// the scenario in its environment); the child parts are skipped in an ordinary run.
#include "XvfbServer.h"
#include "ClipboardPicture.h"
#include "Export.h"
#include "FakePlatform.h"
#include "OutputTestSupport.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace {

class TOwner : public IExportOwner {
  public:
    TComposedCapture cap = ComposeLassoCapture(120, 80);
    TExportSettings settings;
    int afterOperations = 0;
    TDIB HeldCaptureImage() const override { return cap.capture; }
    TDIB HeldFlatImage() const override { return cap.flat; }
    TExportSettings ExportSettings() const override { return settings; }
    void AfterOperation() override { ++afterOperations; }
    void ShowCapture() override {}
    QWidget* DialogParent() const override { return nullptr; }
};

// Runs this test program on one test with extra environment; returns its exit code.
int RunChild(const QString& test, const QStringList& env, QByteArray* output) {
    QProcess child;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    child.setProcessEnvironment(e);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + test});
    if (!child.waitForStarted(10000) || !child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    if (output) *output = child.readAll();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

// A program run while the event loop keeps turning (the clipboard owner must answer xclip).
int RunWithEvents(const QString& program, const QStringList& args, QByteArray* out) {
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    p.start(program, args);
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A process of the test, stopped by its id when the scenario ends.
class TService {
  public:
    bool Start(const QString& program, const QStringList& args) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(program, args);
        return process_.waitForStarted(10000);
    }
    ~TService() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

  private:
    QProcess process_;
};

bool WaitFor(const std::function<bool()>& condition, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (condition()) return true;
        QThread::msleep(50);
    }
    return condition();
}

// The printed page holds the flat capture fitted to its width, centred, in its colours.
void ExpectPrintedCapture(const QString& pdf, const QString& pngStem, const TDIB& flat) {
    ASSERT_EQ(RunTool("pdftoppm", {"-r", "40", "-png", "-singlefile", pdf, pngStem}), 0);
    const QImage page(pngStem + ".png");
    ASSERT_FALSE(page.isNull());
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 235) box |= QRect(x, y, 1, 1);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_GT(box.width(), page.width() * 0.75);
    EXPECT_NEAR(double(box.width()) / box.height(), double(flat.Width()) / flat.Height(), 0.05);
    for (auto [fx, fy] : {std::pair{0.3, 0.5}, {0.7, 0.5}, {0.05, 0.05}, {0.95, 0.95}}) {
        const QRgb got = page.pixel(box.left() + int(fx * box.width()), box.top() + int(fy * box.height()));
        const uint32_t want = flat.GetPixel(int(fx * flat.Width()), int(fy * flat.Height()));
        EXPECT_NEAR(qRed(got), int(want >> 16 & 255), 24) << fx << "," << fy;
        EXPECT_NEAR(qGreen(got), int(want >> 8 & 255), 24) << fx << "," << fy;
        EXPECT_NEAR(qBlue(got), int(want & 255), 24) << fx << "," << fy;
    }
}

// ---- clipboard -------------------------------------------------------------------------------------

TEST(ClipboardChild, OffersTheFlatImageAsPng) {
    if (qEnvironmentVariableIsEmpty("VEXMOR_CLIPBOARD_CHILD")) GTEST_SKIP() << "runs inside ClipboardX11";
    InstallFakePlatform();
    TOwner owner;
    owner.settings.scaling = 50;
    owner.settings.comment = "not copied";
    TExporter exporter(owner);
    exporter.ToClipboardBtnClick();
    // Read back twice: as it comes (most likely still the raw copy) and once the picture is spooled.
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first paste" : "after the switch to the spool file");
        if (pass == 1) {
            auto spooled = [] {
                auto* picture =
                    qobject_cast<const TClipboardPicture*>(QGuiApplication::clipboard()->mimeData());
                return picture && picture->Spooled();
            };
            QDeadlineTimer deadline(20000);
            while (!spooled() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            ASSERT_TRUE(spooled()) << "the picture was not spooled";
        }
        QByteArray targets, png, bmp;
        ASSERT_EQ(RunWithEvents("xclip", {"-selection", "clipboard", "-t", "TARGETS", "-o"}, &targets), 0);
        for (const char* format : {"image/png", "image/bmp", "application/x-qt-image", "image/jpeg"})
            EXPECT_TRUE(targets.contains(format)) << format << " missing in " << targets.constData();
        ASSERT_EQ(RunWithEvents("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}, &png), 0);
        const TDecodedPng decoded = DecodePng(png);
        ASSERT_TRUE(decoded.ok);
        ASSERT_EQ(decoded.width, 120) << "unscaled";
        ASSERT_EQ(decoded.height, 80);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint8_t* d = decoded.pixels.data() + (size_t(y) * 120 + x) * decoded.channels;
                const uint32_t want = owner.cap.flat.GetPixel(x, y);
                ASSERT_EQ(d[0], want >> 16 & 255) << x << "," << y;
                ASSERT_EQ(d[1], want >> 8 & 255) << x << "," << y;
                ASSERT_EQ(d[2], want & 255) << x << "," << y;
                if (decoded.channels == 4) {
                    ASSERT_EQ(d[3], 255) << "the frosted surroundings, not transparency";
                }
            }
        ASSERT_EQ(RunWithEvents("xclip", {"-selection", "clipboard", "-t", "image/bmp", "-o"}, &bmp), 0);
        TDIB fromBmp;
        ASSERT_NO_THROW(fromBmp.LoadFromBmpData(bmp));
        ASSERT_EQ(fromBmp.Width(), 120);
        ASSERT_EQ(fromBmp.Height(), 80);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x)
                ASSERT_EQ(fromBmp.GetPixel(x, y) & 0xFFFFFF, owner.cap.flat.GetPixel(x, y) & 0xFFFFFF)
                    << x << "," << y;
        // This process's own reading of the clipboard it owns.
        const QImage own = QGuiApplication::clipboard()->image();
        ASSERT_EQ(own.size(), QSize(120, 80));
        EXPECT_EQ(own.pixel(60, 40) & 0xFFFFFF, owner.cap.flat.GetPixel(60, 40) & 0xFFFFFF);
    }
    EXPECT_EQ(owner.afterOperations, 1);
}

TEST(ClipboardX11, XclipReadsTheCopiedCapture) {
    ASSERT_TRUE(HaveTool("Xvfb") && HaveTool("xclip")) << "Xvfb and xclip are test dependencies";
    TXvfbServer xvfb;
    ASSERT_TRUE(xvfb.Start());
    QTemporaryDir runtime;
    QByteArray output;
    const int status =
        RunChild("ClipboardChild.*",
                 {QStringLiteral("DISPLAY=") + QString::fromLatin1(xvfb.Display()), "QT_QPA_PLATFORM=xcb",
                  "VEXMOR_CLIPBOARD_CHILD=1", "XDG_RUNTIME_DIR=" + runtime.path()},
                 &output);
    EXPECT_EQ(status, 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

// ---- printing through CUPS -------------------------------------------------------------------------

TEST(PrintChild, PrintsToTheNamedQueue) {
    const QString queue = qEnvironmentVariable("VEXMOR_PRINT_CHILD");
    if (queue.isEmpty()) GTEST_SKIP() << "runs inside PrintCups";
    QTemporaryDir dir;
    auto fake = InstallFakePlatform();
    fake->documents = dir.path();
    TOwner owner;
    owner.settings.title = qEnvironmentVariable("VEXMOR_PRINT_TITLE");
    TExporter exporter(owner);
    exporter.Services().printDialog = [&](QWidget*, QPrinter& printer) {
        printer.setPrinterName(queue);
        return printer.isValid() && printer.outputFormat() == QPrinter::NativeFormat;
    };
    exporter.PrintBtnClick();
    EXPECT_EQ(owner.afterOperations, 1) << "the queue " << queue.toStdString() << " was not usable";
}

TEST(PrintCups, RealQueueWithCupsPdf) {
    for (const char* tool : {"cupsd", "lpadmin", "lpstat", "pdftoppm"})
        ASSERT_TRUE(HaveTool(tool) || QFileInfo::exists(QStringLiteral("/usr/sbin/") + tool))
            << tool << " missing";
    const QString ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
    ASSERT_TRUE(QFileInfo::exists(ppd)) << "printer-driver-cups-pdf is a test dependency";

    // A private daemon: its own configuration, spool and socket; the system's CUPS is not touched.
    QTemporaryDir dir;
    const QString d = dir.path();
    QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                 QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    for (const char* sub : {"etc/ppd", "spool", "cache", "state", "log", "tmp"})
        QDir().mkpath(d + "/" + sub);
    for (const char* sub : {"spool", "cache", "tmp"})
        QFile::setPermissions(d + "/" + sub, QFileDevice::Permissions(0x7777));
    const QString socket = d + "/cups.sock";
    auto writeText = [](const QString& path, const QString& text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
    };
    ASSERT_TRUE(writeText(d + "/cupsd.conf",
                          QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                         "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                         "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                         "  </Limit>\n</Policy>\n")
                              .arg(socket)));
    ASSERT_TRUE(writeText(
        d + "/cups-files.conf",
        QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
                       "TempDir %1/tmp\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                       "PageLog %1/log/page_log\nSystemGroup root\n")
            .arg(d)));
    const QString cupsd = HaveTool("cupsd") ? "cupsd" : "/usr/sbin/cupsd";
    TService daemon;
    ASSERT_TRUE(daemon.Start(cupsd, {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"}));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(socket); }, 10000)) << "cupsd did not listen";
    qputenv("CUPS_SERVER", socket.toUtf8()); // for lpadmin and lpstat run from here
    const QString queue = QStringLiteral("VexmorTest%1").arg(getpid());
    const QString lpadmin = HaveTool("lpadmin") ? "lpadmin" : "/usr/sbin/lpadmin";
    QByteArray out;
    ASSERT_EQ(RunTool(lpadmin, {"-p", queue, "-E", "-v", "cups-pdf:/", "-P", ppd}, &out), 0)
        << out.constData();

    // cups-pdf writes into the PDF folder of the submitting user's home.
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    const QString pdfFolder = QString::fromLocal8Bit(user->pw_dir) + "/PDF";
    const QString title = QStringLiteral("vexmorprint%1").arg(getpid());
    auto printed = [&] {
        const QStringList found = QDir(pdfFolder).entryList({title + "*.pdf"}, QDir::Files);
        return found.isEmpty() ? QString() : pdfFolder + "/" + found.first();
    };
    const int status = RunChild(
        "PrintChild.*",
        {"CUPS_SERVER=" + socket, "VEXMOR_PRINT_CHILD=" + queue, "VEXMOR_PRINT_TITLE=" + title}, &out);
    qunsetenv("CUPS_SERVER");
    ASSERT_EQ(status, 0) << out.constData();
    ASSERT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
    ASSERT_TRUE(WaitFor([&] { return !printed().isEmpty(); }, 60000))
        << "no PDF from cups-pdf in " << pdfFolder.toStdString() << "\n"
        << ReadAll(d + "/log/error_log").constData();
    const QString pdf = printed();
    // cups-pdf finishes the file after it appears: wait until its size settles.
    qint64 size = -1;
    WaitFor(
        [&] {
            const qint64 now = QFileInfo(pdf).size();
            const bool settled = now > 0 && now == size;
            size = now;
            return settled;
        },
        10000);
    const TComposedCapture cap = ComposeLassoCapture(120, 80);
    ExpectPrintedCapture(pdf, d + "/page", cap.flat);
    QFile::remove(pdf);
}

} // namespace
