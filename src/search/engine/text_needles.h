#pragma once
// The text a search looks for inside files, as the bytes it takes in each encoding the
// files may be in: UTF-8, Windows-1251 and CP866. Files are never decoded; their bytes are
// searched for each form of the text. Case-insensitive search knows the Latin and Cyrillic
// letters: each letter of the text stands for either of its cases, in each encoding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::search {

class TTextNeedles {
public:
    // `utf8` is the text as typed. An encoding in which a character of it does not exist is
    // left out; one that gives the same bytes as another is searched once.
    TTextNeedles(std::string_view utf8, bool ignoreCase);

    bool empty() const { return forms_.empty(); }
    // The longest form in bytes: a block search keeps this many bytes less one from the
    // end of a block in front of the next.
    std::size_t longest() const { return longest_; }
    // True when any form occurs in the bytes.
    bool foundIn(std::string_view bytes) const;

private:
    // One character of a form: the byte strings it may be (1 for exact search, 1 or 2 when
    // case does not matter).
    struct Unit {
        std::string alt[2];
        int count = 1;
    };
    struct Form {
        std::vector<Unit> units;
        std::string exact;    // exact search: the bytes as one string
        bool lead[256] = {};  // the bytes a match can begin with
        std::size_t minLen = 0;
    };
    bool matchAt(const Form& f, std::string_view bytes, std::size_t at) const;
    std::vector<Form> forms_;
    std::size_t longest_ = 0;
    bool ignoreCase_ = false;
};

// The other case of a Latin or Cyrillic letter, or the code point itself.
char32_t otherCase(char32_t c);

// A code point in Windows-1251 or CP866: the byte, or -1 when the code page has no such
// character.
int cp1251Byte(char32_t c);
int cp866Byte(char32_t c);

}  // namespace kv::search
