// The Wayland implementation of the platform services that talk to the compositor.
#pragma once

#include "Platform.h"

#include <memory>

class TWaylandConnection;

// Copies of the outputs through the compositor's screen-copy interface, composed at their places in
// the desktop's device pixels.
std::unique_ptr<IScreenGrabber> MakeWaylandGrabber(std::shared_ptr<TWaylandConnection> connection);
