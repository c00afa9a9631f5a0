#pragma once
// Command lines for /bin/sh: how kv starts one, and how a file name becomes one word of it.
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

// The arguments that run `commandLine` through /bin/sh. "--" ends the shell's own options,
// so a line that begins with "-" is a command to run, never an option of sh.
std::vector<std::string> shellArgv(const std::string& commandLine);

// `name` (bytes, as the file system holds them) as one shell word that names exactly that
// file: plain when no character in it means anything to a shell, else single-quoted; bytes
// that are no UTF-8 are written as "$(printf '\ooo')" with octal escapes, so the word is
// plain text that survives the command line's editing and still reaches sh as the same
// bytes (sh here is dash, which has no $'\xNN'). A name that starts with "-" gets "./" in
// front: a program then sees a path, never an option.
std::string shellWordForName(std::string_view name);

}  // namespace kv::platform
