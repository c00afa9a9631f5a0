// The system-information window: its figures read from a folder laid out like /proc,
// /sys and /etc, their formatting, the fallbacks, and the title that uncovers itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/system_info.h"
#include "tools/sysinfo/info_form.h"

namespace {

QApplication* app() {
    if (!qApp) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tools_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return static_cast<QApplication*>(qApp);
}

// A fake root holding the given files (relative path -> content).
struct FakeRoot {
    QTemporaryDir dir;
    explicit FakeRoot(const std::map<std::string, std::string>& files) {
        for (const auto& [path, text] : files) {
            std::filesystem::path p = std::filesystem::path(dir.path().toStdString()) / path;
            std::filesystem::create_directories(p.parent_path());
            std::ofstream(p, std::ios::binary) << text;
        }
    }
    std::string path() const { return dir.path().toStdString(); }
};

const std::map<std::string, std::string> kDesktop = {
    {"proc/cpuinfo",
     "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz\n"
     "flags\t\t: fpu vme de pse tsc msr mmx fxsr sse sse2\n\nprocessor\t: 1\nmodel name\t: other\n"},
    {"proc/meminfo", "MemTotal:       16318480 kB\nMemFree:  1000 kB\nMemAvailable: 8000000 kB\n"},
    {"proc/sys/kernel/ostype", "Linux\n"},
    {"proc/sys/kernel/osrelease", "6.1.0-18-amd64\n"},
    {"etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"},
    {"sys/class/dmi/id/product_name", "ThinkPad X1 Carbon 6th\n"},
};

TEST(SystemFigures, ReadFromTheFilesUnderRoot) {
    FakeRoot root(kDesktop);
    const auto f = kv::platform::readSystemFigures(root.path());
    EXPECT_EQ(f.computer, "ThinkPad X1 Carbon 6th");
    EXPECT_EQ(f.processor, "Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz, MMX");
    EXPECT_EQ(f.totalMemory, 16318480ull * 1024);
    EXPECT_EQ(f.operatingSystem, "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64");
}

std::string fileText(const char* path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SystemFigures, ThisMachineMatchesItsProc) {
    const auto f = kv::platform::readSystemFigures("/");
    EXPECT_EQ(f.totalMemory, kv::platform::parseMeminfo(fileText("/proc/meminfo")).totalPhys);
    EXPECT_GT(f.totalMemory, 0u);
    const std::string cpu = kv::platform::parseCpuModel(fileText("/proc/cpuinfo"));
    EXPECT_EQ(f.processor.substr(0, cpu.size()), cpu.empty() ? std::string() : cpu);
    const std::string kernel = fileText("/proc/sys/kernel/osrelease");
    EXPECT_NE(f.operatingSystem.find(kernel.substr(0, kernel.find('\n'))), std::string::npos);
}

TEST(SystemFigures, FallbacksWhenFilesAreMissingOrEmpty) {
    struct Row {
        std::map<std::string, std::string> files;
        std::string computer, processor, os;
    };
    const Row rows[] = {
        // Nothing at all: the old defaults, and a bare "Linux".
        {{}, "IBM PC/AT", "Pentium", "Linux"},
        // An ARM board: no DMI, a NUL-ended device-tree model, the Hardware line, no mmx in
        // its Features; the os-release of /usr/lib when /etc has none; no ostype file.
        {{{"proc/device-tree/model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31)},
          {"proc/cpuinfo", "processor : 0\nFeatures : fp asimd mmxx\n\nHardware : BCM2835\n"},
          {"usr/lib/os-release", "NAME=Raspbian\nVERSION=\"11 (bullseye)\"\n"},
          {"proc/sys/kernel/osrelease", "6.1.21-v8+"}},
         "Raspberry Pi 4 Model B Rev 1.4",
         "BCM2835",
         "Raspbian 11 (bullseye), Linux 6.1.21-v8+"},
        // A vendor string only; an empty DMI name falls through.
        {{{"proc/cpuinfo", "vendor_id : AuthenticAMD\nmodel name :\n"},
          {"sys/class/dmi/id/product_name", "\n"}},
         "IBM PC/AT",
         "AuthenticAMD",
         "Linux"},
    };
    for (const auto& r : rows) {
        FakeRoot root(r.files);
        const auto f = kv::platform::readSystemFigures(root.path());
        EXPECT_EQ(f.computer, r.computer);
        EXPECT_EQ(f.processor, r.processor);
        EXPECT_EQ(f.operatingSystem, r.os);
        EXPECT_EQ(f.totalMemory, 0u);
    }
}

TEST(SystemFigures, FileSystemSizeOfAFolderAndOfNothing) {
    QTemporaryDir dir;
    EXPECT_GT(kv::platform::fileSystemSize(dir.path().toStdString()), 0);
    EXPECT_EQ(kv::platform::fileSystemSize(dir.path().toStdString() + "/no/such/folder"), -1);
    EXPECT_EQ(kv::platform::fileSystemSize(""), -1);
}

TEST(SystemInfoText, ThousandsAndColourCounts) {
    const std::pair<std::int64_t, const char*> numbers[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {32768, "32,768"},
        {-1, "-1"},
        // A drive past 4 GB shows whole, not wrapped at 32 bits.
        {5'000'000'000LL, "5,000,000,000"},
        {1234567890123LL, "1,234,567,890,123"}};
    for (const auto& [n, text] : numbers) EXPECT_EQ(kv::groupThousands(n), QString::fromUtf8(text)) << n;
    const std::pair<int, const char*> depths[] = {{4, "16"},        {8, "256"},       {16, "65536"},
                                                  {24, "16777216"}, {32, "16777216"}, {15, "65536"},
                                                  {1, "65536"}};
    for (const auto& [bits, text] : depths)
        EXPECT_EQ(kv::colourCountText(bits), QString::fromUtf8(text)) << bits;
}

TEST(SystemInfoWindow, ShowsEveryFigureFromItsSource) {
    app();
    FakeRoot root(kDesktop);
    kv::SystemInfoSource source;
    source.figures = [&] { return kv::platform::readSystemFigures(root.path()); };
    source.driveSize = [] { return std::int64_t{250'059'350'016}; };
    source.owner = [] { return std::string("Anna Petrova"); };
    source.screenSize = [] { return QSize(1024, 768); };
    source.screenDepth = [] { return 32; };
    kv::TFormInfo w(source);
    w.FormActivate();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("About system"));
    EXPECT_EQ(w.Computer->text(), QStringLiteral("ThinkPad X1 Carbon 6th"));
    EXPECT_EQ(w.Processor->text(), QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz, MMX"));
    EXPECT_EQ(w.Memory->text(), QStringLiteral("16,318,480 Kb"));
    EXPECT_EQ(w.Video->text(), QStringLiteral("1024x768x16777216"));
    EXPECT_EQ(w.Drive->text(), QStringLiteral("250,059,350,016 bytes"));
    EXPECT_EQ(w.OS->text(), QStringLiteral("Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"));
    EXPECT_EQ(w.UserName->text(), QStringLiteral("Anna Petrova"));
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        w.show();
        while (w.TitleTimer().isActive()) w.TitleTimerTick();
        w.grab().save(dir + QStringLiteral("/system_info.png"));
    }
}

TEST(SystemInfoWindow, TranslatedTextsAndUnknownDrive) {
    app();
    kv::SystemInfoSource source;
    source.figures = [] { return kv::platform::SystemFigures{}; };
    source.driveSize = [] { return std::int64_t{-1}; };
    auto keys = [](const char* key, const char*) { return QString::fromUtf8(key); };
    kv::TFormInfo w(source, keys);
    w.FormActivate();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Caption"));
    EXPECT_EQ(w.Drive->text(), QStringLiteral("-1 bytes"));
    EXPECT_EQ(w.Memory->text(), QStringLiteral("0 Kb"));
}

TEST(SystemInfoWindow, TitleUncoversInStepsThenStopsAndClosingHidesIt) {
    app();
    kv::SystemInfoSource source;
    source.figures = [] { return kv::platform::SystemFigures{}; };
    source.driveSize = [] { return std::int64_t{0}; };
    kv::TFormInfo w(source);
    w.FormActivate();
    EXPECT_EQ(w.Title->width(), 0);
    EXPECT_TRUE(w.TitleTimer().isActive());
    EXPECT_EQ(w.TitleTimer().interval(), 1000);
    w.TitleTimerTick();
    EXPECT_EQ(w.Title->width(), 15);
    EXPECT_EQ(w.TitleTimer().interval(), 100);
    int ticks = 1;
    while (w.TitleTimer().isActive() && ticks < 100) w.TitleTimerTick(), ++ticks;
    EXPECT_FALSE(w.TitleTimer().isActive());
    EXPECT_GE(w.Title->width(), kv::TFormInfo::kTitleFullWidth);
    EXPECT_GE(w.Title->width(), w.Title->sizeHint().width());
    EXPECT_LT(w.Title->width() - 15, std::max(kv::TFormInfo::kTitleFullWidth, w.Title->sizeHint().width()));

    w.show();
    w.TitleTimer().start(100);
    w.OkButton->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.TitleTimer().isActive());
    EXPECT_EQ(w.Title->width(), 0);
}

}  // namespace
