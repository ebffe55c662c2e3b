#include "InstanceSocket.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
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
    const std::string path = InstanceSocketPath();
    ASSERT_FALSE(path.empty());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const auto connectRefused = [&] {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool refused =
            ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno == ECONNREFUSED;
        ::close(probe);
        return refused;
    };
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd); // bound, never listened, now closed
    ASSERT_TRUE(connectRefused()) << "the file is there and nobody answers";

    auto next = MakeX11Platform();
    int forwardRequests = 0;
    next->instance->SetComeForwardHandler([&] { ++forwardRequests; });
    EXPECT_TRUE(next->instance->BecomeFirstOrHandOver());
    // The taken-over socket answers: a later start hands over to it.
    auto later = MakeX11Platform();
    EXPECT_FALSE(later->instance->BecomeFirstOrHandOver());
    Pump([&] { return forwardRequests == 1; });
    EXPECT_EQ(forwardRequests, 1);
}

// Without a runtime folder the socket goes to the user's own folder in the temporary one; a name that
// someone else could have made first is refused rather than used.
TEST_F(SingleInstance, WithoutARuntimeFolderTheSocketLiesInAFolderOfTheUsersAlone) {
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", runtime.path().toLocal8Bit());
    const std::string own = runtime.filePath(QStringLiteral("vexmor-%1").arg(getuid())).toStdString();
    const std::string other = runtime.filePath(QStringLiteral("other")).toStdString();
    ::mkdir(other.c_str(), 0700);
    // What lies at the folder's name before the start (mode 0: nothing, -1: a link to a folder), and
    // the refusal, "" when the folder is used. Only root can give a folder away.
    const struct {
        int mode;
        bool givenAway;
        std::string refusal;
    } cases[] = {{0, false, ""},
                 {0700, false, ""},
                 {0777, false, " is open to other users"},
                 {-1, false, " is a symbolic link, not a folder"},
                 {0700, true, getuid() == 0 ? " belongs to another user" : ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ::unlink(own.c_str()); // a link; a folder goes with what is in it
        QDir(QString::fromStdString(own)).removeRecursively();
        if (c.mode == -1) {
            ASSERT_EQ(::symlink(other.c_str(), own.c_str()), 0);
        }
        if (c.mode > 0) ::mkdir(own.c_str(), 0700), ::chmod(own.c_str(), c.mode);
        // Only root can give the folder away; for anyone else it stays theirs, and is accepted.
        if (c.givenAway && ::chown(own.c_str(), 65534, 65534) != 0) {
            EXPECT_NE(getuid(), 0u);
        }
        auto platform = MakeX11Platform();
        EXPECT_EQ(platform->instance->Refusal(),
                  c.refusal.empty() ? QString() : QString::fromStdString(own + c.refusal));
        EXPECT_EQ(InstanceSocketPath().empty(), !c.refusal.empty()) << "the launcher hands nothing over";
        if (!c.refusal.empty()) continue;
        struct stat st {};
        EXPECT_TRUE(::lstat(own.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700);
        EXPECT_EQ(InstanceSocketPath().rfind(own + "/TVexmorMainForm-", 0), 0u);
        EXPECT_TRUE(platform->instance->BecomeFirstOrHandOver());
        EXPECT_FALSE(MakeX11Platform()->instance->BecomeFirstOrHandOver()) << "and is found there";
    }
    qputenv("TMPDIR", savedTemp);
}

} // namespace
