// Which programs stand in for the old editor and console, in which order.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/desktop_programs.h"

namespace kv::platform {
namespace {

EnvLookup envOf(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
}

TEST(DesktopPrograms, EditorAndConsoleCandidates) {
    using L = std::vector<CommandLine>;
    struct Case {
        const char* what;
        std::map<std::string, std::string> env;
        std::string file;
        L editors;
    } cases[] = {
        {"nothing set: the desktop's editor", {}, "/w/a b.txt", L{{"xdg-open", "/w/a b.txt"}}},
        {"nothing set and no file: nothing to try", {}, "", L{}},
        {"VISUAL with its arguments first, then EDITOR in each terminal",
         {{"VISUAL", "code -w"}, {"EDITOR", "vim"}, {"TERMINAL", "kitty"}},
         "/w/f",
         L{{"code", "-w", "/w/f"},
           {"kitty", "-e", "vim", "/w/f"},
           {"x-terminal-emulator", "-e", "vim", "/w/f"},
           {"xdg-open", "/w/f"}}},
        {"EDITOR without a file", {{"EDITOR", "nano"}}, "", L{{"x-terminal-emulator", "-e", "nano"}}},
        {"blank variables count as unset", {{"VISUAL", " "}, {"EDITOR", ""}}, "/f", L{{"xdg-open", "/f"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(editorCommands(c.file, envOf(c.env)), c.editors);
    }
    EXPECT_EQ(terminalCommands(envOf({{"TERMINAL", "foot --app-id x"}})),
              (L{{"foot", "--app-id", "x"}, {"x-terminal-emulator"}}));
}

TEST(DesktopPrograms, TheFirstProgramThatStartsWins) {
    const auto r = launchFirst({{"no_such_editor_kv_test"}, {"true"}}, "");
    EXPECT_TRUE(r.ok);
    const auto none = launchFirst({{"no_such_editor_kv_test"}, {"also_missing_kv_test"}}, "");
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.message.find("no_such_editor_kv_test"), std::string::npos) << "the first one's failure";
    EXPECT_FALSE(launchFirst({}, "").ok);
}

}  // namespace
}  // namespace kv::platform
