#pragma once
// The arithmetic of the calculator dialog, as a pocket calculator does it: each
// operator applies the pending one first (2 + 3 * 4 = gives 20), "=" repeats nothing.
#include <string>

namespace kv {

class CalculatorEngine {
public:
    void digit(int d);  // 0..9
    void point();
    void op(char o);  // '+', '-', '*', '/'
    void equals();
    void negate();  // +/-
    void backspace();
    void clearEntry();        // CE
    void clear();             // C: back to 0
    void setValue(double v);  // shown as the entry

    // The display text: "0", "12.5", "-3", or "Error" after a division by zero (only
    // C or CE leave that state).
    std::string display() const;
    double value() const;
    bool error() const { return error_; }

private:
    void applyPending();
    std::string entry_ = "0";
    double acc_ = 0;
    char pending_ = 0;
    bool fresh_ = true;  // the next digit starts a new entry
    bool error_ = false;
};

// v with up to 15 significant digits and no trailing zeros ("0.3", "20", "1e+20").
std::string formatNumber(double v);

}  // namespace kv
