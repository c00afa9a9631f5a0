#pragma once
// Text forms of the resources people read: string tables, menus and accelerator tables in
// the lines the explorer shows, and the dispatch by type for the other text kinds.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

// The text in double quotation marks; control characters written as \n, \t, \r or \xHH so
// one string stays one line.
std::string quoted(std::string_view utf8);

// One line per string that is not empty: "<number>,  \"text\"", the number being
// (block - 1) * 16 + position.
std::vector<std::string> stringTableLines(std::uint32_t block, Bytes data);
// MENU and MENUEX templates as POPUP / MENUITEM / ENDPOPUP lines, two blanks a level.
std::vector<std::string> menuLines(Bytes data);
// One line per accelerator: key, command, flags ("\"^C\", 101, ASCII", "VK_F1, 102, VIRTKEY, CONTROL").
std::vector<std::string> acceleratorLines(Bytes data);

// The text form for a type that has one: dialogs (5), accelerators (9), version
// information (16), and a stored form ("TPF0") under any type without a kind of its own.
std::optional<std::vector<std::string>> readableText(std::uint32_t type, Bytes data);

}  // namespace kv::exe
