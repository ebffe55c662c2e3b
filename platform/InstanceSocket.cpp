#include "InstanceSocket.h"

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

} // namespace

bool WaylandSession() {
    if (Env("WAYLAND_DISPLAY").empty()) return false;
    // The toolkit's platform, when one is forced: its first choice decides (xcb means X11 through the
    // compositor's X server).
    const std::string forced = Env("QT_QPA_PLATFORM");
    return forced.empty() || forced.compare(0, 7, "wayland") == 0;
}

std::string InstanceSocketPath() {
    std::string display = WaylandSession() ? Env("WAYLAND_DISPLAY") : Env("DISPLAY");
    for (char& ch : display) {
        const bool alnum = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        if (!alnum) ch = '_';
    }
    std::string dir = Env("XDG_RUNTIME_DIR");
    if (!WritableFolder(dir)) {
        // The temporary folder as the toolkit names it: $TMPDIR, else /tmp.
        dir = Env("TMPDIR");
        if (dir.empty()) dir = "/tmp";
    }
    const std::string name = "TVexmorMainForm-" + std::to_string(::getuid()) + "-";
    std::string path = WithoutTrailingSlashes(dir) + "/" + name + display;
    // Unix socket paths hold at most 107 bytes.
    if (path.size() > 100) path = "/tmp/" + name + display.substr(0, 40);
    return path;
}

bool SendInstanceRequest(const std::string& path, const std::string& request) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const std::string line = request + '\n';
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size());
    ::close(fd);
    return sent;
}
