// The active window under sway: the focused node of GET_TREE replies shaped as sway 1.7 writes them,
// and the exchange over the socket against a fake compositor that answers well, badly or never.
#include "SwayIpc.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << "x" << r.height() << ")";
}
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

QJsonObject Rect(int x, int y, int w, int h) {
    return {{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

// A node with the fields sway writes for every node; `extra` adds or replaces some.
QJsonObject Node(const char* type, const char* name, QJsonObject rect, QJsonArray nodes = {},
                 QJsonObject extra = {}) {
    QJsonObject n{{"id", 1},
                  {"type", type},
                  {"name", name ? QJsonValue(QString::fromUtf8(name)) : QJsonValue()},
                  {"focused", false},
                  {"layout", "splith"},
                  {"rect", rect},
                  {"deco_rect", Rect(0, 0, 0, 0)},
                  {"window_rect", Rect(0, 0, 0, 0)},
                  {"nodes", nodes},
                  {"floating_nodes", QJsonArray()}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        n.insert(it.key(), it.value());
    return n;
}

// A Wayland client's container: a pid and an app_id, no X11 window.
QJsonObject View(const char* name, QJsonObject rect, QJsonObject deco, bool focused,
                 const char* type = "con") {
    return Node(type, name, rect, {},
                {{"focused", focused},
                 {"layout", "none"},
                 {"deco_rect", deco},
                 {"pid", 4242},
                 {"app_id", "drop-target"},
                 {"shell", "xdg_shell"},
                 {"window", QJsonValue()}});
}

// root -> the scratch output, HEADLESS-1 (1920x1080 at 0,0) and HEADLESS-2 (1280x1024 at 1920,0).
QByteArray Tree(QJsonObject workspace1, QJsonObject workspace2 = {}) {
    if (workspace2.isEmpty()) workspace2 = Node("workspace", "2", Rect(1920, 0, 1280, 1024));
    const QJsonObject scratch = Node("output", "__i3", Rect(0, 0, 3200, 1080),
                                     {Node("workspace", "__i3_scratch", Rect(0, 0, 3200, 1080))});
    const QJsonObject out1 = Node("output", "HEADLESS-1", Rect(0, 0, 1920, 1080), {workspace1});
    const QJsonObject out2 = Node("output", "HEADLESS-2", Rect(1920, 0, 1280, 1024), {workspace2});
    return QJsonDocument(Node("root", "root", Rect(0, 0, 3200, 1080), {scratch, out1, out2})).toJson();
}

QJsonObject Workspace(const char* name, QJsonObject rect, QJsonArray tiled, QJsonArray floating = {},
                      bool focused = false) {
    QJsonObject w = Node("workspace", name, rect, tiled, {{"focused", focused}});
    w.insert("floating_nodes", floating);
    return w;
}

QRect Twice(const QRect& r) {
    return QRect(r.x() * 2, r.y() * 2, r.width() * 2, r.height() * 2);
}

// ---- the focused node of a tree ----

// The rectangles below are what sway 1.7 reported for two Qt windows on headless outputs with
// "default_border normal 3": a 25-pixel title bar, left out of "rect" and given in "deco_rect"
// relative to the parent's box.
TEST(SwayTree, TiledWindowsFrameTakesInItsTitleBar) {
    const QByteArray tree =
        Tree(Workspace("1", Rect(0, 0, 1920, 1080),
                       {View("left", Rect(0, 25, 960, 1055), Rect(0, 0, 960, 25), false),
                        View("右边 — π", Rect(960, 25, 960, 1055), Rect(960, 0, 960, 25), true)}));
    const TForegroundWindow fg = SwayFocusedWindow(tree);
    EXPECT_TRUE(fg.exists);
    EXPECT_FALSE(fg.isDesktop);
    EXPECT_EQ(fg.title, QString::fromUtf8("右边 — π"));
    EXPECT_EQ(fg.frame, QRect(960, 0, 960, 1080));
    EXPECT_TRUE(fg.location.isEmpty());
    // Device pixels on a doubled output.
    EXPECT_EQ(SwayFocusedWindow(tree, Twice).frame, QRect(1920, 0, 1920, 2160));
}

TEST(SwayTree, FloatingWindowOnTheSecondOutput) {
    // A floating container's title bar is placed from its workspace (at 1920, 0).
    const QJsonObject floating =
        View("float", Rect(2017, 300, 306, 203), Rect(97, 275, 306, 25), true, "floating_con");
    const QByteArray tree =
        Tree(Workspace("1", Rect(0, 0, 1920, 1080), {}),
             Workspace("2", Rect(1920, 0, 1280, 1024),
                       {View("tiled", Rect(1920, 25, 1280, 999), Rect(0, 0, 1280, 25), false)}, {floating}));
    const TForegroundWindow fg = SwayFocusedWindow(tree, Twice);
    EXPECT_TRUE(fg.exists);
    EXPECT_EQ(fg.title, QStringLiteral("float"));
    EXPECT_EQ(fg.frame, Twice(QRect(2017, 275, 306, 228)));
}

TEST(SwayTree, WindowWithoutTitleBarIsItsRect) {
    // "border pixel", "none", or a client drawing its own ("csd"): deco_rect all zero.
    const QByteArray tree = Tree(Workspace("1", Rect(0, 0, 1920, 1080),
                                           {View("bare", Rect(200, 150, 300, 200), Rect(0, 0, 0, 0), true)}));
    EXPECT_EQ(SwayFocusedWindow(tree).frame, QRect(200, 150, 300, 200));
}

// Stacked and tabbed children below a split container: both rects start below the bars; each
// window's frame takes in its own bar.
TEST(SwayTree, WindowsInStacksAndTabsTakeInTheirOwnBar) {
    struct Case {
        const char* layout;
        QRect rect, firstBar, secondBar, frame;
    };
    for (const Case& c : {Case{"stacked", QRect(0, 50, 1920, 1030), QRect(0, 0, 1920, 25),
                               QRect(0, 25, 1920, 25), QRect(0, 25, 1920, 1055)},
                          Case{"tabbed", QRect(0, 25, 1920, 1055), QRect(0, 0, 960, 25),
                               QRect(960, 0, 960, 25), QRect(0, 0, 1920, 1080)}}) {
        auto json = [](const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); };
        const QJsonObject group = Node("con", nullptr, Rect(0, 0, 1920, 1080),
                                       {View("first", json(c.rect), json(c.firstBar), false),
                                        View("second", json(c.rect), json(c.secondBar), true)},
                                       {{"layout", c.layout}});
        const TForegroundWindow fg = SwayFocusedWindow(Tree(Workspace("1", Rect(0, 0, 1920, 1080), {group})));
        EXPECT_TRUE(fg.exists) << c.layout;
        EXPECT_EQ(fg.title, QStringLiteral("second")) << c.layout;
        EXPECT_EQ(fg.frame, c.frame) << c.layout;
    }
}

TEST(SwayTree, XWaylandWindowCounts) {
    QJsonObject x11 = Node("con", "xterm", Rect(0, 27, 1920, 1053), {},
                           {{"focused", true},
                            {"deco_rect", Rect(0, 0, 1920, 27)},
                            {"app_id", QJsonValue()},
                            {"window", 2097166},
                            {"window_properties", QJsonObject{{"class", "XTerm"}}},
                            {"shell", "xwayland"}});
    const TForegroundWindow fg = SwayFocusedWindow(Tree(Workspace("1", Rect(0, 0, 1920, 1080), {x11})));
    EXPECT_TRUE(fg.exists);
    EXPECT_EQ(fg.frame, QRect(0, 0, 1920, 1080));
}

TEST(SwayTree, FolderTitleGivesTheLocation) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray name = folder.path().toUtf8();
    const TForegroundWindow fg = SwayFocusedWindow(Tree(Workspace(
        "1", Rect(0, 0, 1920, 1080), {View(name.constData(), Rect(0, 0, 50, 50), Rect(0, 0, 0, 0), true)})));
    EXPECT_EQ(fg.location, folder.path());
}

struct TNoWindowCase {
    const char* name;
    QByteArray tree;
    bool desktop;
};

void PrintTo(const TNoWindowCase& c, std::ostream* os) {
    *os << c.name;
}

class SwayNoWindow : public ::testing::TestWithParam<TNoWindowCase> {};

TEST_P(SwayNoWindow, AnswersNoWindow) {
    const TForegroundWindow fg = SwayFocusedWindow(GetParam().tree, Twice);
    EXPECT_FALSE(fg.exists);
    EXPECT_EQ(fg.isDesktop, GetParam().desktop);
    EXPECT_TRUE(fg.title.isEmpty());
    EXPECT_TRUE(fg.frame.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SwayNoWindow,
    ::testing::Values(
        TNoWindowCase{"EmptyWorkspace", Tree(Workspace("1", Rect(0, 0, 1920, 1080), {}, {}, true)), true},
        TNoWindowCase{"FocusedOutput",
                      QJsonDocument(Node("root", "root", Rect(0, 0, 1920, 1080),
                                         {Node("output", "HEADLESS-1", Rect(0, 0, 1920, 1080), {},
                                               {{"focused", true}})}))
                          .toJson(),
                      true},
        // "focus parent": a split container holds windows but is none itself.
        TNoWindowCase{"FocusedSplitContainer",
                      Tree(Workspace("1", Rect(0, 0, 1920, 1080),
                                     {Node("con", nullptr, Rect(0, 0, 1920, 1080),
                                           {View("a", Rect(0, 27, 960, 1053), Rect(0, 0, 960, 27), false)},
                                           {{"focused", true}})})),
                      false},
        TNoWindowCase{"NothingFocused",
                      Tree(Workspace("1", Rect(0, 0, 1920, 1080),
                                     {View("a", Rect(0, 27, 960, 1053), Rect(0, 0, 960, 27), false)})),
                      false},
        TNoWindowCase{
            "WindowWithoutRect",
            Tree(Workspace("1", Rect(0, 0, 1920, 1080),
                           {Node("con", "a", Rect(0, 0, 0, 0), {}, {{"focused", true}, {"pid", 7}})})),
            false},
        TNoWindowCase{"MalformedJson", QByteArray(R"({"type":"root","nodes":[{"focused":true,)"), false},
        TNoWindowCase{"NotAnObject", QByteArray("[1, 2, 3]"), false},
        TNoWindowCase{"Empty", QByteArray(), false},
        // Fields of the wrong kind are read as absent, never trusted.
        TNoWindowCase{"WrongKinds",
                      QByteArray(R"({"type":"root","rect":7,"nodes":{"a":1},"floating_nodes":[3,"x",)"
                                 R"({"type":"con","focused":true,"pid":"9","rect":{"x":"0"}}]})"),
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwayIpcFraming, RequestIsMagicLengthAndTypeInHostOrder) {
    const QByteArray m = SwayIpcMessage(kSwayIpcGetTree, QByteArray("ab"));
    ASSERT_EQ(m.size(), 6 + 4 + 4 + 2);
    EXPECT_EQ(m.left(6), QByteArray("i3-ipc"));
    uint32_t length = 0, type = 0;
    std::memcpy(&length, m.constData() + 6, 4);
    std::memcpy(&type, m.constData() + 10, 4);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(m.right(2), QByteArray("ab"));
}

// ---- the exchange over the socket ----

// A compositor's socket on a temporary path. Each connection has its request read (header and
// payload) and then gets `reply` written; afterwards the connection is closed, or held open without
// another byte until the server stops when `hold` is set.
class TFakeCompositor {
  public:
    TFakeCompositor(QByteArray reply, bool hold = false) : reply_(std::move(reply)), hold_(hold) {
        path_ = dir_.path() + QStringLiteral("/sway-ipc.sock");
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path_);
        std::memcpy(a.sun_path, p.constData(), size_t(p.size()));
        const bool ok = listen_ >= 0 && ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
                        ::listen(listen_, 4) == 0 && ::pipe(stop_) == 0;
        EXPECT_TRUE(ok) << std::strerror(errno);
        if (ok) thread_ = std::thread([this] { Serve(); });
    }
    ~TFakeCompositor() {
        if (thread_.joinable()) {
            (void)!::write(stop_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {listen_, stop_[0], stop_[1]})
            if (fd >= 0) ::close(fd);
    }
    QString Path() const { return path_; }
    QList<QByteArray> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    // Waits for the fd or the stop pipe; false when told to stop.
    bool Wait(int fd, short events) {
        pollfd p[2] = {{fd, events, 0}, {stop_[0], POLLIN, 0}};
        while (::poll(p, 2, -1) < 0)
            if (errno != EINTR) return false;
        return !(p[1].revents & POLLIN);
    }
    bool Read(int fd, char* to, size_t size) {
        for (size_t got = 0; got < size;) {
            if (!Wait(fd, POLLIN)) return false;
            const ssize_t n = ::recv(fd, to + got, size - got, 0);
            if (n <= 0) return false;
            got += size_t(n);
        }
        return true;
    }
    void Serve() {
        for (;;) {
            if (!Wait(listen_, POLLIN)) return;
            const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            char header[14];
            if (Read(c, header, sizeof(header))) {
                uint32_t length = 0;
                std::memcpy(&length, header + 6, 4);
                QByteArray payload(qsizetype(length), '\0');
                if (length < 4096 && Read(c, payload.data(), length)) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    requests_ << QByteArray(header, sizeof(header)) + payload;
                }
                for (qsizetype sent = 0; sent < reply_.size();) {
                    const ssize_t n =
                        ::send(c, reply_.constData() + sent, size_t(reply_.size() - sent), MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += n;
                }
                if (hold_ && !Wait(stop_[0], POLLIN)) {
                    ::close(c);
                    return;
                }
            }
            ::close(c);
        }
    }

    QTemporaryDir dir_;
    QString path_;
    QByteArray reply_;
    bool hold_;
    int listen_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    QList<QByteArray> requests_;
};

// A reply header as sway writes it.
QByteArray ReplyHeader(uint32_t length, uint32_t type = kSwayIpcGetTree) {
    return SwayIpcMessage(type).left(6) + QByteArray(reinterpret_cast<const char*>(&length), 4) +
           QByteArray(reinterpret_cast<const char*>(&type), 4);
}
QByteArray Reply(const QByteArray& payload, uint32_t type = kSwayIpcGetTree) {
    return ReplyHeader(uint32_t(payload.size()), type) + payload;
}

const QByteArray kTiledTree = Tree(Workspace(
    "1", Rect(0, 0, 1920, 1080), {View("shell", Rect(0, 25, 1920, 1055), Rect(0, 0, 1920, 25), true)}));

TEST(SwayIpcSocket, AsksForTheTreeAndMapsTheFocusedWindow) {
    TFakeCompositor sway(Reply(kTiledTree));
    TSwayActiveWindow active(sway.Path(), Twice);
    const TForegroundWindow fg = active.Foreground();
    EXPECT_TRUE(fg.exists);
    EXPECT_EQ(fg.title, QStringLiteral("shell"));
    EXPECT_EQ(fg.frame, QRect(0, 0, 3840, 2160));
    // Every call asks afresh, one connection each.
    EXPECT_TRUE(active.Foreground().exists);
    EXPECT_EQ(sway.Requests(), (QList<QByteArray>{SwayIpcMessage(4), SwayIpcMessage(4)}));
}

TEST(SwayIpcSocket, EmptyWorkspaceIsTheDesktop) {
    TFakeCompositor sway(Reply(Tree(Workspace("1", Rect(0, 0, 1920, 1080), {}, {}, true))));
    const TForegroundWindow fg = TSwayActiveWindow(sway.Path(), {}).Foreground();
    EXPECT_FALSE(fg.exists);
    EXPECT_TRUE(fg.isDesktop);
}

struct TBadReplyCase {
    const char* name;
    QByteArray reply;
    bool hold;              // the connection stays open after the reply
    bool delivered = false; // the exchange itself works: only the tree is wrong
};
void PrintTo(const TBadReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class SwayIpcBadReply : public ::testing::TestWithParam<TBadReplyCase> {};

// However the reply goes wrong, the answer is "no window" well within the time-out, never a hang.
TEST_P(SwayIpcBadReply, AnswersNoWindowInTime) {
    TFakeCompositor sway(GetParam().reply, GetParam().hold);
    TSwayActiveWindow active(sway.Path(), {}, std::chrono::milliseconds(150));
    QElapsedTimer clock;
    clock.start();
    const TForegroundWindow fg = active.Foreground();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(fg.exists);
    EXPECT_FALSE(fg.isDesktop);
    EXPECT_EQ(active.RequestTree().isEmpty(), !GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SwayIpcBadReply,
    ::testing::Values(
        TBadReplyCase{"MalformedJson", Reply("{\"type\": \"root\", \"nodes\": [ {\"focused\": tru"), false,
                      true},
        // The length promises more than comes before the compositor closes, or before the time-out.
        TBadReplyCase{"TruncatedThenClosed", ReplyHeader(uint32_t(kTiledTree.size())) + kTiledTree.left(100),
                      false},
        TBadReplyCase{"TruncatedThenSilent", ReplyHeader(uint32_t(kTiledTree.size())) + kTiledTree.left(100),
                      true},
        TBadReplyCase{"HeaderCutShort", ReplyHeader(100).left(9), false},
        // Refused unread: no 4 GiB buffer.
        TBadReplyCase{"HugeLength", ReplyHeader(0xFFFFFFF0u) + "{}", true},
        TBadReplyCase{"JustOverTheCap", ReplyHeader(kSwayIpcMaxReply + 1) + "{}", true},
        TBadReplyCase{"WrongMagic", "i4-ipc" + Reply(kTiledTree).mid(6), false},
        TBadReplyCase{"AnotherMessageType", Reply(kTiledTree, 0x80000000u), false},
        TBadReplyCase{"EmptyPayload", Reply(QByteArray()), false},
        TBadReplyCase{"ClosedWithoutAnswer", QByteArray(), false},
        TBadReplyCase{"NeverAnswers", QByteArray(), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwayIpcSocket, NoCompositorIsNoWindow) {
    QTemporaryDir dir;
    for (const QString& path :
         {QString(), dir.path() + QStringLiteral("/gone.sock"), dir.path(), QString(200, u'x')}) {
        const TForegroundWindow fg = TSwayActiveWindow(path, {}).Foreground();
        EXPECT_FALSE(fg.exists) << path.toStdString();
        EXPECT_FALSE(fg.isDesktop);
    }
}

// A reply larger than a socket buffer arrives in many reads.
TEST(SwayIpcSocket, LargeTreeArrivesWhole) {
    QJsonArray many;
    for (int i = 0; i < 2000; ++i)
        many.append(View("filler", Rect(i, 27, 1, 1053), Rect(i, 0, 1, 27), false));
    many.append(View("last", Rect(1900, 27, 20, 1053), Rect(1900, 0, 20, 27), true));
    const QByteArray tree = Tree(Workspace("1", Rect(0, 0, 1920, 1080), many));
    ASSERT_GT(tree.size(), 1 << 20);
    TFakeCompositor sway(Reply(tree));
    const TForegroundWindow fg =
        TSwayActiveWindow(sway.Path(), {}, std::chrono::milliseconds(2000)).Foreground();
    EXPECT_TRUE(fg.exists);
    EXPECT_EQ(fg.title, QStringLiteral("last"));
    EXPECT_EQ(fg.frame, QRect(1900, 0, 20, 1080));
}

} // namespace
