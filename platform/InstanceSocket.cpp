#include "InstanceSocket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool WritableFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK) == 0;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A folder of this user's alone, made 0700 when missing. Taken only when it is a real folder (not a
// link) that the user owns and nobody else may enter: in a shared temporary folder another local
// user could make the name first, and a socket there could be theirs. Empty `refusal` when it is fit.
void MakePrivateFolder(const std::string& path, std::string* refusal) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *refusal = "cannot make " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        *refusal = "cannot read " + path + ": " + std::strerror(errno);
    else if (S_ISLNK(st.st_mode))
        *refusal = path + " is a symbolic link, not a folder";
    else if (!S_ISDIR(st.st_mode))
        *refusal = path + " is not a folder";
    else if (st.st_uid != ::getuid())
        *refusal = path + " belongs to another user";
    else if ((st.st_mode & 077) != 0)
        *refusal = path + " is open to other users";
}

} // namespace

bool WaylandSession() {
    if (Env("WAYLAND_DISPLAY").empty()) return false;
    // The toolkit's platform, when one is forced: its first choice decides (xcb means X11 through the
    // compositor's X server).
    const std::string forced = Env("QT_QPA_PLATFORM");
    return forced.empty() || forced.compare(0, 7, "wayland") == 0;
}

std::string InstanceSocketPath(std::string* refusal) {
    std::string display = WaylandSession() ? Env("WAYLAND_DISPLAY") : Env("DISPLAY");
    for (char& ch : display) {
        const bool alnum = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        if (!alnum) ch = '_';
    }
    const std::string uid = std::to_string(::getuid());
    // The main window's class name, as every earlier version named its socket: it stays although the
    // socket has nothing to do with the window, so that a start finds a running copy of an older
    // version (and that version's starts find this one).
    const std::string name = "TVexmorMainForm-" + uid + "-";
    // Unix socket paths hold at most 107 bytes; a path longer than that goes to /tmp's own folder of
    // the user with the display shortened (at most 23 + 27 + 40 bytes).
    const auto fits = [](const std::string& path) { return path.size() <= 100; };
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (WritableFolder(runtime) && fits(WithoutTrailingSlashes(runtime) + "/" + name + display))
        return WithoutTrailingSlashes(runtime) + "/" + name + display;
    // No runtime folder: a folder of the user's own in the temporary folder as the toolkit names it
    // ($TMPDIR, else /tmp).
    std::string temp = Env("TMPDIR");
    if (temp.empty() || temp[0] != '/') temp = "/tmp";
    std::string folder = WithoutTrailingSlashes(temp) + "/vexmor-" + uid;
    if (!fits(folder + "/" + name + display)) {
        folder = "/tmp/vexmor-" + uid;
        display = display.substr(0, 40);
    }
    std::string why;
    MakePrivateFolder(folder, &why);
    if (refusal) *refusal = why;
    return why.empty() ? folder + "/" + name + display : std::string();
}

bool SendInstanceRequest(const std::string& path, const std::string& request) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const std::string line = request + '\n';
    bool sent = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        // Only a listener of this same user gets the request. Another user's socket at our name (a
        // runtime folder shared with others) is no copy of ours: it counts as nobody answering, so this
        // start becomes the first instance (listening beside it, or without hand-over when the name
        // cannot be taken) rather than ending with its command given to a stranger.
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid())
            sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size());
    }
    ::close(fd);
    return sent;
}
