// Factories of the X11 services that need the X protocol itself (private to platform/).
#pragma once

#include "Platform.h"

std::unique_ptr<IScreenGrabber> MakeX11Grabber();
std::unique_ptr<IActiveWindow> MakeX11ActiveWindow();
std::unique_ptr<IHotKeys> MakeX11HotKeys();
