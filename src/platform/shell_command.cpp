#include "platform/shell_command.h"

#include "platform/text_codec.h"

namespace kv::platform {

std::vector<std::string> shellArgv(const std::string& commandLine) { return {"sh", "-c", "--", commandLine}; }

namespace {

bool plainByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || c == '/' || c == '+' || c == ',' || c >= 0x80;
}

}  // namespace

std::string shellWordForName(std::string_view name) {
    std::string text = name.substr(0, 1) == "-" ? "./" : "";
    text += name;
    const std::string_view s = text;
    bool plain = !s.empty();
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0 || !plainByte(static_cast<unsigned char>(s[i]))) {
            plain = false;
            break;
        }
        i += n;
    }
    if (plain) return text;

    std::string out;
    bool quoted = false;  // inside a '...' run
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0) {
            // A run of bytes that are no UTF-8: printf writes them back; none is a line
            // break, so the command substitution keeps all of them.
            if (quoted) out += '\'';
            quoted = false;
            out += "\"$(printf '";
            for (; i < s.size() && Utf8SequenceLength(s, i) == 0; ++i) {
                const auto b = static_cast<unsigned char>(s[i]);
                out += '\\';
                out += static_cast<char>('0' + (b >> 6));
                out += static_cast<char>('0' + ((b >> 3) & 7));
                out += static_cast<char>('0' + (b & 7));
            }
            out += "')\"";
            continue;
        }
        if (s[i] == '\'') {
            if (quoted) out += '\'';
            quoted = false;
            out += "\\'";
        } else {
            if (!quoted) out += '\'';
            quoted = true;
            out.append(s.substr(i, n));
        }
        i += n;
    }
    if (quoted) out += '\'';
    return out;
}

}  // namespace kv::platform
