// The reader on the Windows programs and libraries Debian's packages ship (the MinGW
// runtimes): every one lists without an error, and the version information reads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "viewers/exe/exe_image.h"
#include "viewers/exe/readable_forms.h"
#include "viewers/exe/resource_tree_text.h"

namespace kv::exe {
namespace {

std::vector<std::string> commandLines(const std::string& cmd) {
    std::vector<std::string> out;
    std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(cmd.c_str(), "r"), ::pclose);
    if (!p) return out;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p.get())) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        out.push_back(line);
    }
    return out;
}

// .exe and .dll files of every installed package with "mingw-w64" in its name.
std::vector<std::string> packagedWindowsFiles() {
    return commandLines(
        "dpkg-query -W -f '${Package}\\n' 2>/dev/null | grep mingw-w64 | xargs -r dpkg -L 2>/dev/null | "
        "grep -iE '\\.(exe|dll)$' | sort -u");
}

TEST(RealPrograms, PackagedWindowsFilesListWithoutAnError) {
    const auto files = packagedWindowsFiles();
    if (files.empty()) GTEST_SKIP() << "no MinGW runtime packages installed (scripts/install-deps)";
    int withResources = 0;
    for (const auto& f : files) {
        std::ostringstream out, err;
        const int code = printResourceTreeOfFile(f, out, err);
        // Many runtime libraries carry no resources at all; that is an answer, not an error.
        EXPECT_TRUE(code == 0 || code == 3) << f << ": " << err.str();
        if (code == 0) {
            ++withResources;
            EXPECT_EQ(err.str(), "") << f;
            EXPECT_FALSE(out.str().empty()) << f;
        }
    }
    EXPECT_GT(withResources, 0) << "none of " << files.size() << " files has resources";
}

TEST(RealPrograms, VersionInformationOfTheThreadLibraryReads) {
    for (const char* f : {"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll",
                          "/usr/i686-w64-mingw32/lib/libwinpthread-1.dll"}) {
        if (::access(f, R_OK) != 0) continue;
        TExeImage image(f);
        TResourceList* root = image.resources();
        ASSERT_NE(root, nullptr) << f;
        ASSERT_GE(root->count(), 1u);
        TResourceItem* version = root->item(root->count() - 1);
        ASSERT_EQ(version->name(), "Version");
        const auto lines = version->subList()->item(0)->textLines();
        ASSERT_TRUE(lines);
        std::string all;
        for (const auto& l : *lines) all += l + "\n";
        // The translation says 040904B0, the table is named 040904b0: the same table.
        EXPECT_NE(all.find("Lang-charset: 040904B0"), std::string::npos) << all;
        EXPECT_NE(all.find("FileDescription: POSIX WinThreads for Windows"), std::string::npos) << all;
        EXPECT_NE(all.find("File type: Dynamic-link library"), std::string::npos) << all;
    }
}

}  // namespace
}  // namespace kv::exe
