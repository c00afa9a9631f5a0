#include "main/calculator_engine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Feeds a key string: digits, ".", operators, "=", "n" (negate), "b" (backspace),
// "c" (clear), "e" (clear entry).
std::string run(const std::string& keys) {
    kv::CalculatorEngine c;
    for (char k : keys) {
        if (k >= '0' && k <= '9')
            c.digit(k - '0');
        else if (k == '.')
            c.point();
        else if (k == '=')
            c.equals();
        else if (k == 'n')
            c.negate();
        else if (k == 'b')
            c.backspace();
        else if (k == 'c')
            c.clear();
        else if (k == 'e')
            c.clearEntry();
        else
            c.op(k);
    }
    return c.display();
}

}  // namespace

TEST(CalculatorEngine, KeySequences) {
    struct Row {
        const char* keys;
        const char* display;
    };
    const Row rows[] = {
        {"", "0"},
        {"007", "7"},
        {"1.5+2.25=", "3.75"},
        {"0.1+0.2=", "0.3"},  // shown as the user expects, not 0.30000000000000004
        {"2+3*4=", "20"},     // left to right
        {"9-+4=", "13"},      // a second operator replaces the first
        {"5n*3=", "-15"},
        {"1..2", "1.2"},
        {"123b", "12"},
        {"7/0=", "Error"},
        {"7/0=5+", "Error"},  // only C or CE leave the error
        {"7/0=c4", "4"},
        {"8+5e2=", "10"},
        {"99999999999999999", "9999999999999999"},  // entry length is bounded
        {"6*", "6"},
    };
    for (const Row& r : rows) EXPECT_EQ(run(r.keys), r.display) << r.keys;
}
