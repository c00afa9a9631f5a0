// kvarc: the archive engine from the command line.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kvarc/commands.h"
#include "kvarc/kvarc_add.h"
#include "kvarc/kvarc_extract.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

namespace {

struct Command {
    std::string_view name;
    int (*run)(const kvarc::Args&);
    std::string_view usage;
};

// One line per command.
constexpr Command kCommands[] = {
    {"l", kvarc::listCommand,
     "l [--tsv] [--cp866] ARCHIVE   list the entries (--cp866: DOS names are Cyrillic)"},
    {"t", kvarc::testCommand, "t ARCHIVE [-p PASSWORD] [--cp866]   test every entry's CRC"},
    {"x", kvarc::extractCommand,
     "x ARCHIVE DIR [-p PASSWORD] [-y] [--cp866]   extract (existing files are skipped without -y)"},
    {"a", kvarc::addCommand,
     "a ARCHIVE FILE... [-r] [-0|-1..-9] [-p PASSWORD] [-m]   add or update (-r subfolders, -0 store, -m "
     "move)"},
    {"d", kvarc::deleteCommand, "d ARCHIVE NAME... [-p PASSWORD]   delete entries (a NAME with / matches the whole path)"},
};

int usage() {
    std::fputs("usage: kvarc COMMAND ...\n", stderr);
    for (const Command& c : kCommands)
        std::fprintf(stderr, "  kvarc %.*s\n", int(c.usage.size()), c.usage.data());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string_view word = argv[1];
    if (word == "--version") {
        std::printf("kvarc (Korvalen) %s\n", KV_VERSION);
        return 0;
    }
    for (const Command& c : kCommands)
        if (c.name == word) return c.run(kvarc::Args(argv + 2, argv + argc));
    return usage();
}
