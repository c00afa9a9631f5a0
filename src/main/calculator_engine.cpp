#include "main/calculator_engine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kv {

std::string formatNumber(double v) {
    if (v == 0) return "0";  // also turns -0 into 0
    // 15 significant digits hide the binary rounding (0.1 + 0.2 shows 0.3).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

double CalculatorEngine::value() const { return std::strtod(entry_.c_str(), nullptr); }

std::string CalculatorEngine::display() const { return error_ ? "Error" : entry_; }

void CalculatorEngine::digit(int d) {
    if (error_ || d < 0 || d > 9) return;
    if (fresh_) {
        entry_ = "0";
        fresh_ = false;
    }
    if (entry_.size() >= 16) return;
    const char c = static_cast<char>('0' + d);
    if (entry_ == "0")
        entry_ = std::string(1, c);
    else if (entry_ == "-0")
        entry_ = std::string("-") + c;
    else
        entry_ += c;
}

void CalculatorEngine::point() {
    if (error_) return;
    if (fresh_) {
        entry_ = "0";
        fresh_ = false;
    }
    if (entry_.find('.') == std::string::npos && entry_.find('e') == std::string::npos) entry_ += '.';
}

void CalculatorEngine::applyPending() {
    const double x = value();
    switch (pending_) {
        case '+': acc_ += x; break;
        case '-': acc_ -= x; break;
        case '*': acc_ *= x; break;
        case '/':
            if (x == 0) {
                error_ = true;
                return;
            }
            acc_ /= x;
            break;
        default: acc_ = x; break;
    }
    if (!std::isfinite(acc_)) {
        error_ = true;
        return;
    }
    entry_ = formatNumber(acc_);
}

void CalculatorEngine::op(char o) {
    if (error_) return;
    // Two operators in a row: the second replaces the first.
    if (!(fresh_ && pending_)) applyPending();
    pending_ = o;
    fresh_ = true;
}

void CalculatorEngine::equals() {
    if (error_) return;
    if (pending_) applyPending();
    pending_ = 0;
    fresh_ = true;
}

void CalculatorEngine::negate() {
    if (error_) return;
    if (entry_ == "0") return;
    entry_ = entry_[0] == '-' ? entry_.substr(1) : "-" + entry_;
}

void CalculatorEngine::backspace() {
    if (error_ || fresh_) return;
    entry_.pop_back();
    if (entry_.empty() || entry_ == "-") entry_ = "0";
}

void CalculatorEngine::clearEntry() {
    error_ = false;
    entry_ = "0";
    fresh_ = false;
    if (!pending_) acc_ = 0;
}

void CalculatorEngine::clear() {
    error_ = false;
    entry_ = "0";
    acc_ = 0;
    pending_ = 0;
    fresh_ = true;
}

void CalculatorEngine::setValue(double v) {
    clear();
    entry_ = formatNumber(v);
}

}  // namespace kv
