#include "SwayIpc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr size_t kHeaderSize = sizeof(kMagic) + 2 * sizeof(uint32_t);

class TFd {
  public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Waits for `events` on the socket until the deadline; false on time-out, error or hang-up without
// the event.
bool WaitFor(int fd, short events, TClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        // A closed peer still lets the last bytes be read; recv tells the end.
        return (p.revents & events) != 0 || (events == POLLIN && (p.revents & POLLHUP));
    }
}

bool SendAll(int fd, const QByteArray& bytes, TClock::time_point deadline) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline)) continue;
        return false;
    }
    return true;
}

// Reads exactly `size` bytes into `to`; false when the peer closes first or the deadline passes.
bool ReceiveAll(int fd, char* to, size_t size, TClock::time_point deadline) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, to + got, size - got, 0);
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        if (n == 0) return false; // closed mid-reply
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) continue;
        return false;
    }
    return true;
}

// A rectangle of the tree: {"x", "y", "width", "height"}; null when absent or not one.
QRect JsonRect(const QJsonValue& v) {
    const QJsonObject o = v.toObject();
    for (const char* key : {"x", "y", "width", "height"})
        if (!o.value(QLatin1String(key)).isDouble()) return {};
    const int w = o.value(QLatin1String("width")).toInt(), h = o.value(QLatin1String("height")).toInt();
    if (w < 0 || h < 0) return {};
    return QRect(o.value(QLatin1String("x")).toInt(), o.value(QLatin1String("y")).toInt(), w, h);
}

bool IsContainer(const QJsonObject& node) {
    const QString type = node.value(QLatin1String("type")).toString();
    return type == QLatin1String("con") || type == QLatin1String("floating_con");
}

// A container that shows a client's window, Wayland (pid, app_id) or X11 (window, its properties),
// rather than one that only arranges others.
bool HoldsWindow(const QJsonObject& node) {
    return node.value(QLatin1String("pid")).toInt() > 0 || node.value(QLatin1String("app_id")).isString() ||
           node.value(QLatin1String("window")).toInteger() > 0 ||
           node.value(QLatin1String("window_properties")).isObject();
}

// What sway reports as a container's "rect" leaves out its title bar (all of a stack's title bars
// when its parent stacks its children); "deco_rect" is that title bar relative to the parent's
// whole box. The whole box is the rect grown back up by the bars.
QRect WholeBox(const QJsonObject& node, const QJsonObject& parent) {
    const QRect rect = JsonRect(node.value(QLatin1String("rect")));
    if (!IsContainer(node)) return rect;
    const QRect deco = JsonRect(node.value(QLatin1String("deco_rect")));
    int bars = 1;
    if (parent.value(QLatin1String("layout")).toString() == QLatin1String("stacked") &&
        node.value(QLatin1String("type")).toString() == QLatin1String("con"))
        bars = std::max(1, int(parent.value(QLatin1String("nodes")).toArray().size()));
    return rect.adjusted(0, -deco.height() * bars, 0, 0);
}

struct TFocused {
    QJsonObject node;
    QRect parentBox; // the whole box of the node's parent, in layout coordinates
};

bool FindFocused(const QJsonObject& node, const QJsonObject& parent, const QRect& parentBox, TFocused& out) {
    if (node.value(QLatin1String("focused")).toBool()) {
        out = {node, parentBox};
        return true;
    }
    const QRect box = WholeBox(node, parent);
    for (const char* list : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(QLatin1String(list)).toArray())
            if (child.isObject() && FindFocused(child.toObject(), node, box, out)) return true;
    return false;
}

} // namespace

QByteArray SwayIpcMessage(uint32_t type, const QByteArray& payload) {
    QByteArray message(kMagic, sizeof(kMagic));
    const uint32_t length = uint32_t(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof(length));
    message.append(reinterpret_cast<const char*>(&type), sizeof(type));
    return message + payload;
}

TForegroundWindow SwayFocusedWindow(const QByteArray& tree, const TLayoutToDevice& toDevice) {
    TForegroundWindow result;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(tree, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return result;
    TFocused focused;
    const QJsonObject root = doc.object();
    if (!FindFocused(root, {}, JsonRect(root.value(QLatin1String("rect"))), focused)) return result;

    const QJsonObject& node = focused.node;
    const QString type = node.value(QLatin1String("type")).toString();
    if (type == QLatin1String("workspace") || type == QLatin1String("output") ||
        type == QLatin1String("root")) {
        result.isDesktop = true;
        return result;
    }
    if (!IsContainer(node) || !HoldsWindow(node)) return result;
    QRect frame = JsonRect(node.value(QLatin1String("rect")));
    if (frame.isEmpty()) return result;
    // The title bar, where the window has one: placed from its parent's box, and taken in when it lies
    // outside the rect (it always does in the sway versions seen; the check keeps a later one that
    // counts it in from counting it twice).
    const QRect deco = JsonRect(node.value(QLatin1String("deco_rect")));
    if (!deco.isEmpty()) {
        const QRect bar = deco.translated(focused.parentBox.topLeft());
        if (!frame.contains(bar)) frame = frame.united(bar);
    }
    result.exists = true;
    result.title = node.value(QLatin1String("name")).toString();
    result.frame = toDevice ? toDevice(frame) : frame;
    // A file manager that shows its folder as the title publishes its location that way.
    if (QDir::isAbsolutePath(result.title) && QFileInfo(result.title).isDir()) result.location = result.title;
    return result;
}

TSwayActiveWindow::TSwayActiveWindow(QString socketPath, TLayoutToDevice toDevice,
                                     std::chrono::milliseconds timeout)
    : socketPath_(std::move(socketPath)), toDevice_(std::move(toDevice)), timeout_(timeout) {}

TForegroundWindow TSwayActiveWindow::Foreground() {
    const QByteArray tree = RequestTree();
    if (tree.isEmpty()) return {};
    return SwayFocusedWindow(tree, toDevice_);
}

QByteArray TSwayActiveWindow::RequestTree() const {
    const TClock::time_point deadline = TClock::now() + timeout_;
    const QByteArray path = QFile::encodeName(socketPath_);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path)) return {};
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    const TFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) return {};
    // A local connect completes at once or fails at once (EAGAIN: the compositor's backlog is full,
    // it is not taking requests).
    int connected;
    do {
        connected = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (connected < 0 && errno == EINTR);
    if (connected < 0) return {};

    if (!SendAll(fd.get(), SwayIpcMessage(kSwayIpcGetTree), deadline)) return {};
    char header[kHeaderSize];
    if (!ReceiveAll(fd.get(), header, sizeof(header), deadline)) return {};
    if (std::memcmp(header, kMagic, sizeof(kMagic)) != 0) return {};
    uint32_t length = 0, type = 0;
    std::memcpy(&length, header + sizeof(kMagic), sizeof(length));
    std::memcpy(&type, header + sizeof(kMagic) + sizeof(length), sizeof(type));
    if (type != kSwayIpcGetTree || length == 0 || length > kSwayIpcMaxReply) return {};
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (!ReceiveAll(fd.get(), payload.data(), length, deadline)) return {};
    return payload;
}
