// File-name masks and mask lists, case by case.
#include <gtest/gtest.h>

#include <string>

#include "panel/model/mask.h"

namespace kv {
namespace {

struct MatchCase {
    const char* masks;
    std::string name;  // owned: one row's name is built at run time
    bool matches;
};

TEST(Mask, MatchesAsTheTableSays) {
    const MatchCase cases[] = {
        {"*.txt, *.doc", "A.TXT", true},
        {"*.txt, *.doc", "b.doc", true},
        {"*.txt, *.doc", "c.bak", false},
        {"[a-c]*", "Beta", true},
        {"[a-c]*", "delta", false},
        {"[A-C]x", "bx", true},  // ranges fold case too
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "Ax", false},
        {"[!a-c]x", "x", false},  // a set always takes one character
        {"[xa-c]", "x", true},
        {"[a-]", "-", true},  // a trailing dash is a member
        {"[a-]", "b", false},
        {"?.txt", "\xc3\xa9.txt", true},  // "?" takes one character, not one byte
        {"?.txt", "ab.txt", false},
        {"a?c", "ac", false},
        {"*", "Makefile", true},
        {"*", "", true},
        {"*.*", "Makefile", false},  // a name without a dot has no "."
        {"*.", "Makefile", false},
        {"makefile", "MAKEFILE", true},
        {"*.TXT", "notes.txt", true},
        {"\xc3\xa9*", "\xc3\x89t\xc3\xa9", false},  // only ASCII letters fold
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbY", false},
        {"*a*a*a*a*a*b", std::string(200, 'a'), false},
        {"  *.c ,x", "a.c ", true},  // blanks before a mask go, blanks after it stay
        {"  *.c ,x", "a.c", false},
        {"  *.c ,x", "x", true},
        {"*.txt,", "a.txt", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMaskList(c.masks).Matches(c.name), c.matches) << c.masks << " on \"" << c.name << "\"";
}

TEST(Mask, InvalidMasksNameThePlace) {
    struct Bad {
        std::string mask;
        int position;
    };
    const Bad bad[] = {
        {"[abc", 1},
        {"x*[a-c", 3},
        {"[-a]", 2},
        {"[!-a]", 3},
        {std::string(31, '*'), 31},
        {"a" + std::string(31, '*'), 32},
    };
    for (const auto& b : bad) {
        try {
            TMask m(b.mask);
            ADD_FAILURE() << b.mask << " was taken";
        } catch (const EMaskError& e) {
            EXPECT_EQ(e.position(), b.position) << b.mask;
            EXPECT_EQ(std::string(e.what()),
                      "'" + b.mask + "' is an invalid mask at (" + std::to_string(b.position) + ")");
        }
    }
    EXPECT_NO_THROW(TMask(std::string(30, '*')));
    EXPECT_THROW(TMaskList("*.txt, [x"), EMaskError);
}

}  // namespace
}  // namespace kv
