// The socket that finds the copy of the program running for this user and display, and a request
// line sent to it. Plain C++ without Qt: the launcher hands a request over before any library of the
// program loads, and the program's own single-instance service uses the same two functions.
#pragma once

#include <string>

// A Wayland session: WAYLAND_DISPLAY is set and QT_QPA_PLATFORM, when set, asks for Wayland first.
bool WaylandSession();

// $XDG_RUNTIME_DIR / "TVexmorMainForm-<uid>-<display>" (the Wayland display in a Wayland session, else
// the X display), the display's characters other than letters and digits replaced by '_'. Without a
// runtime folder (or when the path would be too long for a socket address) the socket lies in the
// user's own folder "vexmor-<uid>" in the temporary folder, made 0700 when missing; when that is not
// a real folder of the user's closed to others, the path is empty and `refusal` says why. The name
// begins with the main window's class name as in every earlier version, so that copies of different
// versions find each other.
std::string InstanceSocketPath(std::string* refusal = nullptr);

// Sends one request line to the socket at `path`; true once a listener of this same user has it.
bool SendInstanceRequest(const std::string& path, const std::string& request);
