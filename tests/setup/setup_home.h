#pragma once
// A temporary home for installations: HOME and the XDG folders point into a fresh folder,
// and data.res archives are made there by our own ZIP writer.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip/zip_writer.h"
#include "support/temp_dir.h"

namespace kvsetup {

namespace fs = std::filesystem;

// What a bundle normally holds; "kv" is a script that notes where it was started.
inline std::map<std::string, std::string> programFiles(const std::string& readme = "Read me.\n") {
    return {{"kv", "#!/bin/sh\npwd > started.txt\n"},
            {"kvarc", "#!/bin/sh\nexit 0\n"},
            {"kv_rus.ini", "[Main]\nTitle=Korvalen\n"},
            {"readme.txt", readme},
            {"docs/more.txt", "a stored folder\n"}};
}

class SetupHome : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVars)
            if (const char* v = std::getenv(name)) saved_[name] = v;
        home = tmp.dir("home");
        source = tmp.dir("source");
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : kVars) {
            auto it = saved_.find(name);
            if (it == saved_.end())
                ::unsetenv(name);
            else
                ::setenv(name, it->second.c_str(), 1);
        }
    }

    // Writes data.res into the source folder from name -> content ("kv" and "kvarc" executable);
    // `store` keeps the bytes as they are, so a test can find and damage them.
    void makeDataRes(const std::map<std::string, std::string>& files, bool store = false) {
        const std::string stage = tmp.path() + "/stage" + std::to_string(++stages_);
        std::vector<std::string> names;
        for (const auto& [name, content] : files) {
            fs::create_directories(fs::path(stage + "/" + name).parent_path());
            std::ofstream(stage + "/" + name, std::ios::binary) << content;
            if (name == "kv" || name == "kvarc") ::chmod((stage + "/" + name).c_str(), 0755);
            // Folders go in by their top name, with what they hold under their stored path.
            const std::string top = name.substr(0, name.find('/'));
            if (std::find(names.begin(), names.end(), top) == names.end()) names.push_back(top);
        }
        fs::remove(dataRes());
        kv::TZip zip;
        zip.setDefaultDir(stage);
        zip.StoredDirNames = kv::TStoredDirNames::sdRelative;
        zip.RecurseDirs = true;
        if (store) zip.setCompressMethod(kv::TCompressMethod::cmStore);
        zip.FileSpecList = names;
        zip.setArchiveFile(dataRes());
        ASSERT_TRUE(zip.Activate());
    }

    std::string dataRes() const { return source + "/data.res"; }
    std::string defaultTarget() const { return home + "/.local/share/korvalen"; }
    std::string kvIni() const { return home + "/.config/korvalen/kv.ini"; }
    std::string menuFolder() const { return home + "/.local/share/applications/Korvalen"; }

    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Waits up to two seconds for a file a started program writes.
    static bool appears(const std::string& path) {
        for (int i = 0; i < 200; ++i) {
            if (fs::exists(path) && !read(path).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    kv::test::TempDir tmp{"kvsetup"};
    std::string home, source;

private:
    static constexpr const char* kVars[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    std::map<std::string, std::string> saved_;
    int stages_ = 0;
};

}  // namespace kvsetup
