// Esc on the main window while a big folder is still being read stops the read, so a user
// who entered a huge folder by mistake gets the window back at once.
#include "main_window_fixture.h"

#include "panel/fpanel.h"

namespace kvtest {
namespace {

TEST_F(MainWindowTest, EscStopsTheReadingOfABigFolder) {
    auto& f = start();
    const fs::path big = work / "big";
    fs::create_directories(big);
    for (size_t i = 0; i < kv::TFPanel::kInlineNames + 500; ++i)
        std::ofstream(big / ("f" + std::to_string(i)));
    kv::TFPanel* panel = f.activePanel();
    f.changeFolder(panel, big.string());
    if (!panel->Reading()) GTEST_SKIP() << "the folder was read before the key could arrive";
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_FALSE(panel->Reading());
    EXPECT_EQ(panel->FilesCount, 1) << "only \"..\" is left after a cancelled read";
}

}  // namespace
}  // namespace kvtest
