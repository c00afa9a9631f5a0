#pragma once
// The freedesktop.org base folders of the user.
#include <string>

namespace kv::platform {

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share (the home from the
// password database when HOME is unset).
std::string dataHome();

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config (the home as above).
std::string configHome();

}  // namespace kv::platform
