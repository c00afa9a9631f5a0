#include "viewers/exe/binary_form.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kv::exe {

namespace {

// The value kinds of the stream format.
enum ValueType : std::uint8_t {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString,
    vaInt64,
    vaUTF8String,
    vaDouble
};

constexpr int kMaxNesting = 64;

struct Stop {
    std::string why;
};

class Converter {
public:
    explicit Converter(Bytes data) : data_(data), c_(data, 4) {}

    void object(int level) {
        if (level > kMaxNesting) throw Stop{"objects nested too deeply"};
        std::string keyword = "object";
        std::string position;
        const std::uint8_t lead = peek();
        if ((lead & 0xF0) == 0xF0) {
            c_.u8();
            const int flags = lead & 0x0F;
            if (flags & 1) keyword = "inherited";
            if (flags & 4) keyword = "inline";
            if (flags & 2) position = " [" + std::to_string(integer(c_.u8())) + "]";
        }
        const std::string className = shortString();
        const std::string objectName = shortString();
        line(level, keyword + " " + (objectName.empty() ? "" : objectName + ": ") + className + position);
        properties(level + 1);
        while (peek() != 0) object(level + 1);
        c_.u8();
        line(level, "end");
    }

    std::vector<std::string> lines;

private:
    std::uint8_t peek() {
        const auto b = readU8(bytes(), c_.pos());
        if (!b) throw Stop{"the form data ends early"};
        return *b;
    }
    Bytes bytes() const { return data_; }
    void check() {
        if (c_.failed()) throw Stop{"the form data ends early"};
    }
    void line(int level, const std::string& text) {
        lines.push_back(std::string(std::size_t(level) * 2, ' ') + text);
    }

    std::string shortString() {
        const std::uint8_t n = c_.u8();
        const Bytes b = c_.bytes(n);
        check();
        return std::string(b.begin(), b.end());
    }

    // Properties until the empty name that ends them.
    void properties(int level) {
        while (peek() != 0) {
            const std::string name = shortString();
            value(level, name + " = ");
        }
        c_.u8();
    }

    std::int64_t integer(std::uint8_t type) {
        switch (type) {
            case vaInt8: return std::int8_t(c_.u8());
            case vaInt16: return c_.i16();
            case vaInt32: return c_.i32();
            case vaInt64: return std::int64_t(c_.u64());
            default: throw Stop{"a number was expected in the form data"};
        }
    }

    static std::string number(double v) {
        if (std::isnan(v)) return "NAN";
        if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        // Keep a decimal point, so the value reads as a floating-point number.
        if (!std::strpbrk(buf, ".eE")) std::strcat(buf, ".0");
        return buf;
    }

    // The 80-bit extended format: a 64-bit mantissa with its leading bit, a 15-bit exponent.
    double extended() {
        const std::uint64_t mantissa = c_.u64();
        const std::uint16_t top = c_.u16();
        check();
        const int exponent = top & 0x7FFF;
        const bool negative = top & 0x8000;
        double v;
        if (exponent == 0x7FFF)
            v = (mantissa << 1) ? NAN : INFINITY;
        else
            v = std::ldexp(double(mantissa), exponent - 16383 - 63);
        return negative ? -v : v;
    }

    static std::string quote(const std::string& utf8OrAnsi, bool wide) {
        // Printable runs in single quotes ('' for a quote), everything else as #code.
        std::string out;
        bool open = false;
        auto setOpen = [&](bool want) {
            if (want != open) out += '\'';
            open = want;
        };
        for (std::size_t i = 0; i < utf8OrAnsi.size(); ++i) {
            const unsigned char ch = utf8OrAnsi[i];
            const bool printable = ch >= 0x20 && ch != 0x7F && (ch < 0x80 || wide);
            if (printable) {
                setOpen(true);
                out += char(ch);
                if (ch == '\'') out += '\'';
            } else {
                setOpen(false);
                out += "#" + std::to_string(ch);
            }
        }
        setOpen(false);
        return out.empty() ? "''" : out;
    }

    std::string wideString(std::uint32_t count) {
        const auto text = utf16At(bytes(), c_.pos(), count);
        if (!text) throw Stop{"the form data ends early"};
        c_.skip(std::uint64_t(count) * 2);
        // Controls stay #codes; the text itself is UTF-8 now.
        return quote(*text, true);
    }

    void value(int level, const std::string& prefix) {
        if (level > kMaxNesting) throw Stop{"values nested too deeply"};
        const std::uint8_t type = c_.u8();
        check();
        switch (type) {
            case vaNull: return line(level, prefix + "Null");
            case vaInt8:
            case vaInt16:
            case vaInt32:
            case vaInt64: {
                const std::int64_t v = integer(type);
                check();
                return line(level, prefix + std::to_string(v));
            }
            case vaExtended: return line(level, prefix + number(extended()));
            case vaSingle: {
                const std::uint32_t bits = c_.u32();
                check();
                float f;
                std::memcpy(&f, &bits, 4);
                return line(level, prefix + number(f) + "s");
            }
            case vaDouble:
            case vaDate: {
                const std::uint64_t bits = c_.u64();
                check();
                double d;
                std::memcpy(&d, &bits, 8);
                return line(level, prefix + number(d) + (type == vaDate ? "d" : ""));
            }
            case vaCurrency: {
                const std::int64_t v = std::int64_t(c_.u64());
                check();
                char buf[48];
                std::snprintf(buf, sizeof buf, "%s%lld.%04lld", v < 0 ? "-" : "",
                              static_cast<long long>((v < 0 ? -(v / 10000) : v / 10000)),
                              static_cast<long long>(v < 0 ? -(v % 10000) : v % 10000));
                return line(level, prefix + buf + "c");
            }
            case vaString: return line(level, prefix + quote(shortString(), false));
            case vaLString:
            case vaUTF8String: {
                const std::uint32_t n = c_.u32();
                const Bytes b = c_.bytes(n);
                check();
                return line(level, prefix + quote(std::string(b.begin(), b.end()), type == vaUTF8String));
            }
            case vaWString: {
                const std::uint32_t n = c_.u32();
                check();
                return line(level, prefix + wideString(n));
            }
            case vaIdent: return line(level, prefix + shortString());
            case vaFalse: return line(level, prefix + "False");
            case vaTrue: return line(level, prefix + "True");
            case vaNil: return line(level, prefix + "nil");
            case vaSet: {
                std::string set;
                for (std::string element; !(element = shortString()).empty();)
                    set += (set.empty() ? "" : ", ") + element;
                return line(level, prefix + "[" + set + "]");
            }
            case vaBinary: {
                const std::uint32_t n = c_.u32();
                const Bytes b = c_.bytes(n);
                check();
                line(level, prefix + "{");
                for (std::size_t i = 0; i < b.size(); i += 32) {
                    std::string hex;
                    for (std::size_t j = i; j < b.size() && j < i + 32; ++j) {
                        char two[4];
                        std::snprintf(two, sizeof two, "%02X", b[j]);
                        hex += two;
                    }
                    line(level + 1, hex);
                }
                lines.back() += "}";
                return;
            }
            case vaList: {
                line(level, prefix + "(");
                while (peek() != vaNull) value(level + 1, "");
                c_.u8();
                lines.back() += ")";  // after the last element, or "()" when there is none
                return;
            }
            case vaCollection: {
                line(level, prefix + "<");
                while (peek() != vaNull) {
                    std::string item = "item";
                    const std::uint8_t lead = peek();
                    if (lead == vaInt8 || lead == vaInt16 || lead == vaInt32) {
                        c_.u8();
                        item += " [" + std::to_string(integer(lead)) + "]";
                    }
                    if (c_.u8() != vaList) throw Stop{"a collection item without its list"};
                    line(level + 1, item);
                    properties(level + 2);
                    line(level + 1, "end");
                }
                c_.u8();
                lines.back() += ">";
                return;
            }
            default: throw Stop{"unknown value type " + std::to_string(type) + " in the form data"};
        }
    }

    Bytes data_;
    Cursor c_;
};

}  // namespace

bool isBinaryForm(Bytes data) { return data.size() >= 4 && std::memcmp(data.data(), "TPF0", 4) == 0; }

FormText binaryFormToText(Bytes data) {
    FormText out;
    if (!isBinaryForm(data)) {
        out.error = "not a stored form";
        return out;
    }
    Converter conv(data);
    try {
        conv.object(0);
    } catch (const Stop& s) {
        out.error = s.why;
    }
    out.lines = std::move(conv.lines);
    return out;
}

}  // namespace kv::exe
