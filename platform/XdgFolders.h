// The user's base folders of the freedesktop.org conventions: the variable's value when it is an
// absolute path, else the default under the home folder.
#pragma once

#include <QString>

QString ConfigHome(); // $XDG_CONFIG_HOME, or ~/.config
QString DataHome();   // $XDG_DATA_HOME, or ~/.local/share
