// Archives the extraction fuzzers found: each must end in a clear failure (exit 1 or 2)
// and never in a crash, a hang or a success.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

#if defined(KVARC) && defined(KV_SHARED_FIXTURES)
TEST(FuzzFound, HostileArchivesFailCleanly) {
    struct Case {
        const char* file;
        const char* command;
    };
    // A library that asks for more memory than exists gets none, as a real program would
    // (the sanitizers abort instead unless told to answer such a request with nothing).
    const std::string env = "ASAN_OPTIONS=allocator_may_return_null=1 timeout 60 ";
    for (const Case& c : {Case{"rar-huge-allocation.rar", "t"}, Case{"rar-huge-allocation.rar", "x"}}) {
        SCOPED_TRACE(std::string(c.file) + " " + c.command);
        const fs::path p = fs::path(KV_SHARED_FIXTURES) / "fuzz" / c.file;
        const fs::path out = fs::temp_directory_path() / ("kv-fuzz-found-" + std::to_string(::getpid()));
        std::string cmd = env + KVARC " " + c.command + " '" + p.string() + "'";
        if (std::string(c.command) == "x") cmd += " '" + out.string() + "'";
        const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_TRUE(WEXITSTATUS(rc) == 1 || WEXITSTATUS(rc) == 2) << WEXITSTATUS(rc);
        std::error_code ec;
        fs::remove_all(out, ec);
    }
}
#endif

}  // namespace
