#include "search/engine/text_needles.h"

#include <array>
#include <cstring>

#include "platform/text_codec.h"

namespace kv::search {
namespace {

// Code point of the UTF-8 sequence at `at` (its length in `len`); malformed bytes stand
// for themselves as one-byte characters.
char32_t decodeAt(std::string_view s, std::size_t at, std::size_t& len) {
    len = platform::Utf8SequenceLength(s, at);
    const auto b = static_cast<unsigned char>(s[at]);
    if (len <= 1) {
        len = 1;
        return b;
    }
    char32_t c = b & (0xFF >> (len + 1));
    for (std::size_t i = 1; i < len; ++i) c = (c << 6) | (static_cast<unsigned char>(s[at + i]) & 0x3F);
    return c;
}

using Table = std::array<char32_t, 256>;

Table codePage(std::string (*decode)(std::string_view)) {
    Table t{};
    for (int b = 0; b < 256; ++b) {
        const char one = static_cast<char>(b);
        const std::string u = decode(std::string_view(&one, 1));
        std::size_t len = 0;
        t[static_cast<std::size_t>(b)] = u.empty() ? 0xFFFD : decodeAt(u, 0, len);
    }
    return t;
}

int byteIn(const Table& t, char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    for (int b = 0x80; b < 256; ++b)
        if (t[static_cast<std::size_t>(b)] == c && c != 0xFFFD) return b;
    return -1;
}

}  // namespace

char32_t otherCase(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // А..Я
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;  // Ѐ..Џ (Ё, Ў, Є, ...)
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c == 0x490 || c == 0x491) return c ^ 1;  // Ґ ґ
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}

int cp1251Byte(char32_t c) {
    static const Table t = codePage(platform::Cp1251ToUtf8);
    return byteIn(t, c);
}

int cp866Byte(char32_t c) {
    static const Table t = codePage(platform::Cp866ToUtf8);
    return byteIn(t, c);
}

TTextNeedles::TTextNeedles(std::string_view utf8, bool ignoreCase) : ignoreCase_(ignoreCase) {
    if (utf8.empty()) return;
    std::vector<char32_t> chars;
    for (std::size_t at = 0, len = 0; at < utf8.size(); at += len) chars.push_back(decodeAt(utf8, at, len));

    enum Enc { Utf8, Cp1251, Cp866 };
    for (const Enc enc : {Utf8, Cp1251, Cp866}) {
        Form f;
        bool ok = true;
        auto bytesOf = [&](char32_t c, std::string& out) {
            out.clear();
            if (enc == Utf8) {
                platform::AppendUtf8(out, c);
                return true;
            }
            const int b = enc == Cp1251 ? cp1251Byte(c) : cp866Byte(c);
            if (b < 0) return false;
            out.push_back(static_cast<char>(b));
            return true;
        };
        for (const char32_t c : chars) {
            Unit u;
            if (!bytesOf(c, u.alt[0])) {
                ok = false;
                break;
            }
            const char32_t o = ignoreCase ? otherCase(c) : c;
            if (o != c && bytesOf(o, u.alt[1]) && u.alt[1] != u.alt[0]) u.count = 2;
            f.exact += u.alt[0];
            f.units.push_back(std::move(u));
        }
        if (!ok) continue;
        bool same = false;
        for (const Form& g : forms_) {
            bool eq = g.units.size() == f.units.size();
            for (std::size_t i = 0; eq && i < f.units.size(); ++i)
                eq = g.units[i].count == f.units[i].count && g.units[i].alt[0] == f.units[i].alt[0] &&
                     g.units[i].alt[1] == f.units[i].alt[1];
            same = same || eq;
        }
        if (same) continue;
        for (const Unit& u : f.units) {
            std::size_t shortest = u.alt[0].size();
            if (u.count == 2) shortest = std::min(shortest, u.alt[1].size());
            f.minLen += shortest;
        }
        std::size_t longestHere = 0;
        for (const Unit& u : f.units)
            longestHere += std::max(u.alt[0].size(), u.count == 2 ? u.alt[1].size() : 0);
        longest_ = std::max(longest_, longestHere);
        const Unit& first = f.units.front();
        for (int i = 0; i < first.count; ++i) f.lead[static_cast<unsigned char>(first.alt[i][0])] = true;
        forms_.push_back(std::move(f));
    }
}

bool TTextNeedles::matchAt(const Form& f, std::string_view bytes, std::size_t at) const {
    for (const Unit& u : f.units) {
        bool hit = false;
        for (int i = 0; i < u.count && !hit; ++i) {
            const std::string& a = u.alt[i];
            if (bytes.size() - at >= a.size() && std::memcmp(bytes.data() + at, a.data(), a.size()) == 0) {
                at += a.size();
                hit = true;
            }
        }
        if (!hit) return false;
    }
    return true;
}

bool TTextNeedles::foundIn(std::string_view bytes) const {
    for (const Form& f : forms_) {
        if (bytes.size() < f.minLen) continue;
        if (!ignoreCase_) {
            if (::memmem(bytes.data(), bytes.size(), f.exact.data(), f.exact.size())) return true;
            continue;
        }
        const std::size_t last = bytes.size() - f.minLen;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const Unit& u0 = f.units.front();
        if (u0.count == 1) {
            // One lead byte: memchr finds the candidates.
            const unsigned char lead = static_cast<unsigned char>(u0.alt[0][0]);
            for (std::size_t at = 0; at <= last;) {
                const void* hit = std::memchr(p + at, lead, last + 1 - at);
                if (!hit) break;
                at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
                if (matchAt(f, bytes, at)) return true;
                ++at;
            }
            continue;
        }
        for (std::size_t at = 0; at <= last; ++at)
            if (f.lead[p[at]] && matchAt(f, bytes, at)) return true;
    }
    return false;
}

}  // namespace kv::search
