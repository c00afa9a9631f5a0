#pragma once
// Multi-rename: new names for a set of entries of one folder from a pattern, the preview
// of every old and new name with what is wrong with each, and the safe execution of the
// renames with one undo. No Qt.
//
// Patterns (one for the name, one for the extension; the new name is name + "." + ext, or
// the name alone when the extension comes out empty):
//   [N] the old name without its extension     [E] the old extension (after the last dot)
//   [N2-4] its 2nd to 4th character, [N3] the 3rd, [N3-] from the 3rd on; [E..] likewise
//   [C] the counter (start, step and digits from the rules)
//   [Y] [M] [D] the file's modification date (4, 2, 2 digits), [h] [m] [s] its time
//   [[ a literal "["; any other text stands as it is.
// Then the search text is replaced in the whole new name (every occurrence; plain text or
// an ECMAScript regular expression with $1... in the replacement), then the case changes.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kv::fileops {

struct RenameSource {
    std::string name;
    std::int64_t mtime = 0;  // seconds, shown in local time by [Y]...[s]
};

enum class LetterCase { AsIs, Upper, Lower };

struct RenameRules {
    std::string namePattern = "[N]";
    std::string extPattern = "[E]";
    std::string search, replace;
    bool regex = false;
    LetterCase letterCase = LetterCase::AsIs;
    std::int64_t counterStart = 1, counterStep = 1;
    int counterDigits = 1;
};

struct RenameRow {
    std::string oldName, newName;
    std::string problem;  // empty when the row may be renamed
};

struct RenamePreview {
    std::vector<RenameRow> rows;
    std::string error;  // the pattern or the regular expression cannot be used
    int problems() const;
    int changes() const;  // rows whose name changes
    bool ok() const { return error.empty() && problems() == 0; }
    // (old, new) of the rows that change.
    std::vector<std::pair<std::string, std::string>> pairs() const;
};

// The new name of every source, in order, and the problems: an empty name, "/" or NUL in
// it, "." or "..", a name longer than 255 bytes, two equal new names, or a new name taken
// by an entry of the folder that is not being renamed (`folderNames`: every name there).
RenamePreview previewRename(const std::vector<RenameSource>& sources, const RenameRules& rules,
                            const std::vector<std::string>& folderNames);

// Changes the letters of UTF-8 text (Latin, Latin-1, Greek and Cyrillic letters).
std::string changeCase(const std::string& text, LetterCase c);

// One rename inside the folder `dirFd`: 0, or -1 with errno. Never replaces an existing
// entry (renameat2 with RENAME_NOREPLACE). Tests pass their own to fail a step.
using RenameStep = std::function<int(int dirFd, const std::string& from, const std::string& to)>;
int renameNoReplace(int dirFd, const std::string& from, const std::string& to);

struct RenameOutcome {
    bool ok = false;
    std::string error;  // what failed, and whether the renames done were put back
};

// Renames every (old, new) in `folder`: first each old name to a temporary name in the
// folder, then each temporary to its new name, so chains and swaps (a->b, b->a) work and
// nothing is ever overwritten. When a step fails, the steps done are undone in reverse.
RenameOutcome renameAll(const std::string& folder,
                        const std::vector<std::pair<std::string, std::string>>& pairs,
                        const RenameStep& step = renameNoReplace);

// The last multi-rename of the session, for one undo.
class RenameUndo {
public:
    void record(std::string folder, std::vector<std::pair<std::string, std::string>> pairs);
    bool available() const { return !pairs_.empty(); }
    const std::string& folder() const { return folder_; }
    const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }
    // The renamed entries back to their old names. Refuses, naming them, when a renamed
    // entry is no longer there or an old name has been taken meanwhile; the record stays
    // then (and after a failure that was rolled back), so the undo can be tried again.
    // Once done, the record goes.
    RenameOutcome undo(const RenameStep& step = renameNoReplace);

private:
    std::string folder_;
    std::vector<std::pair<std::string, std::string>> pairs_;  // (old, new)
};

}  // namespace kv::fileops
