#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The X11 build's single-instance rule works on a per-user, per-display socket; no X server is
// needed for it.
class SingleInstance : public ::testing::Test {
  protected:
    void SetUp() override {
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        savedDisplay = qgetenv("DISPLAY");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("DISPLAY", QByteArray(":vexmor-test-") + QByteArray::number(getpid()));
    }
    void TearDown() override {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("DISPLAY", savedDisplay);
    }
    static void Pump(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QTemporaryDir runtime;
    QByteArray savedRuntime, savedDisplay;
};

TEST_F(SingleInstance, SecondStartHandsOverToTheFirst) {
    auto first = MakeX11Platform();
    int forwardRequests = 0;
    first->instance->SetComeForwardHandler([&] { ++forwardRequests; });
    ASSERT_TRUE(first->instance->BecomeFirstOrHandOver());

    auto second = MakeX11Platform();
    EXPECT_FALSE(second->instance->BecomeFirstOrHandOver());
    Pump([&] { return forwardRequests == 1; });
    EXPECT_EQ(forwardRequests, 1);

    // Another display is another desktop: its own first instance.
    qputenv("DISPLAY", ":vexmor-other");
    auto elsewhere = MakeX11Platform();
    EXPECT_TRUE(elsewhere->instance->BecomeFirstOrHandOver());
}

TEST_F(SingleInstance, StaleSocketOfACrashedInstanceIsTakenOver) {
    // A socket file nobody listens on, as a killed instance leaves it.
    const QString path = runtime.filePath(
        QStringLiteral("TVexmorMainForm-%1-%2")
            .arg(getuid())
            .arg(QString::fromLocal8Bit(qgetenv("DISPLAY")).replace(':', '_').replace('-', '_')));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd); // bound, never listened, now closed: connecting is refused
    ASSERT_TRUE(QFile::exists(path));

    auto next = MakeX11Platform();
    EXPECT_TRUE(next->instance->BecomeFirstOrHandOver());
    auto later = MakeX11Platform();
    EXPECT_FALSE(later->instance->BecomeFirstOrHandOver()); // and the taken-over socket answers
}

} // namespace
