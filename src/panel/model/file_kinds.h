#pragma once
// How the panel tells links, broken links, fifos, sockets and devices from plain files:
// a mark after the name, a word in the size column, the link's target in the status strip.
#include <string>
#include <string_view>

#include "panel/model/directory.h"

namespace kv {

// Drawn right after the name: " →" for a link, "|" for a fifo, "=" for a socket, "#" for a
// device; empty for plain files and folders.
std::string_view kindMark(const TDirEntry& e);
// The size column's word for an entry whose size means nothing: "<Broken>" for a broken
// link, "<Pipe>", "<Socket>", "<Device>"; empty otherwise.
std::string_view kindSizeWord(const TDirEntry& e);
// The status strip's word in place of a size: "broken link", "named pipe", "socket",
// "character device", "block device"; empty otherwise.
std::string_view kindStatusWord(const TDirEntry& e);
// Fifos, sockets and devices at `path` (links followed): their status word; empty for
// anything else, and for what cannot be stated. Never opens the file.
std::string_view specialKindAt(const std::string& path);
// What is said instead of opening one: "<pipe> is a named pipe: it is not opened".
std::string specialNotOpened(std::string_view kindWord, const std::string& name);
// What a link points to, as stored in it (not resolved); empty when `path` is no link or
// cannot be read.
std::string linkTarget(const std::string& path);

}  // namespace kv
