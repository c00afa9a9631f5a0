#pragma once
// kv.mnu: the user menu's entries as a text file beside kv.ini. No Qt here.
//
//   line 1          the number of entries, in decimal
//   line 2          a blank
//   then per entry  the caption; the command; a blank
//
// Lines end with CR LF when written; LF alone is read as well. The second line and each
// entry's third line are skipped whatever they hold.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct MenuEntry {
    std::string caption;
    std::string command;
    bool operator==(const MenuEntry&) const = default;
};

struct MenuFileRead {
    std::vector<MenuEntry> entries;  // every entry that could be read, damaged file or not
    bool exists = false;             // false: no file (an empty menu, nothing to report)
    std::string error;               // empty when the file was whole
    explicit operator bool() const { return error.empty(); }
};

// The file's text read into entries. A first line that is not a count still gives the groups
// that follow it; a file that ends early keeps the entries it holds (one whose command line is
// missing keeps its caption with an empty command). `where` names the file in the error text.
MenuFileRead ParseMenuText(std::string_view text, const std::string& where = "kv.mnu");
// Reads the file; a missing file is an empty menu without an error.
MenuFileRead ReadMenuFile(const std::filesystem::path& file);

// The file's text for `entries`, with CR LF line ends. A line break inside a caption or command
// (which would shift every later entry) is written as a blank.
std::string MenuFileText(const std::vector<MenuEntry>& entries);

struct MenuFileWrite {
    bool ok = true;
    std::string message;  // "Unable to write to <path>: <reason>" when !ok
    explicit operator bool() const { return ok; }
};
// Replaces the file in one step (a temporary beside it, renamed in); on failure the old file
// stays as it was. Creates the folder when it is missing.
MenuFileWrite WriteMenuFile(const std::filesystem::path& file, const std::vector<MenuEntry>& entries);

// kv.mnu beside the kv.ini in use.
std::filesystem::path MenuFilePath(const std::filesystem::path& iniPath);

}  // namespace kv
