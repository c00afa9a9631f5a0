// The reader on programs the MinGW tools built from a resource script: the tree, each
// readable form, and saved pictures equal to the files the script named.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "exe/mingw_fixture.h"
#include "viewers/exe/dialog_template.h"
#include "viewers/exe/exe_image.h"
#include "viewers/exe/resource_items.h"
#include "viewers/exe/resource_tree_text.h"
#include "viewers/exe/version_info.h"

namespace kv::exe {
namespace {

using test::mingwPrograms;

std::string namesTree(TResourceList& list, int level = 0) {
    std::string out;
    for (const auto& item : list.items()) {
        out += std::string(level * 2, ' ') + item->name() + "\n";
        if (item->isList()) out += namesTree(*item->subList(), level + 1);
    }
    return out;
}

TResourceItem* find(TResourceList& root, const std::string& type, const std::string& name) {
    for (const auto& t : root.items())
        if (t->name() == type)
            for (const auto& i : t->subList()->items())
                if (i->name() == name) return i.get();
    return nullptr;
}

class MingwProgram : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const auto& p = mingwPrograms();
        if (!p.error.empty()) GTEST_SKIP() << p.error;
        image = std::make_unique<TExeImage>(GetParam() ? p.exe64 : p.exe32);
        ASSERT_EQ(image->status(), TExeImage::kReady);
        root = image->resources();
        ASSERT_NE(root, nullptr);
    }
    std::unique_ptr<TExeImage> image;
    TResourceList* root = nullptr;
};

std::vector<std::string> lines(const TResourceItem* item) {
    auto l = item->textLines();
    return l ? *l : std::vector<std::string>{"<no text form>"};
}

TEST_P(MingwProgram, TreeShowsEveryKindUnderItsTypeName) {
    EXPECT_EQ(image->isPe32Plus(), GetParam());
    // Named types and names first, numbers in order; the image folders 1 and 3 appear only
    // below the groups that list them, under their sizes.
    EXPECT_EQ(namesTree(*root),
              "SAMPLEDATA\n  7\n"
              "Bitmap\n  101\n  102\n  103\n  104\n  105\n  106\n"
              "Menu\n  100\n"
              "Dialog\n  EXTRA\n  200\n"
              "String\n  7\n"
              "Accelerators\n  300\n"
              "RCData\n  ABOUT\n  400\n  401\n"
              "Cursor\n  2\n    32 X 32 1 Bit(s)\n"
              "Icon\n  1\n    16 X 16 16 Colors\n    32 X 32 0 Colors\n"
              "Version\n  1\n");
    EXPECT_TRUE(image->problems().empty());

    std::ostringstream out, err;
    EXPECT_EQ(printResourceTreeOfFile(image->fileName(), out, err), 0) << err.str();
    EXPECT_EQ(err.str(), "");
    const TResourceItem* blob = find(*root, "RCData", "401");
    char line[64];
    std::snprintf(line, sizeof line, "  401  [Offset: %X  Size: 12C]\n", blob->offset());
    EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
}

TEST_P(MingwProgram, ItemsKnowTheirNamesKindsAndBytes) {
    TResourceItem* blob = find(*root, "RCData", "401");
    ASSERT_NE(blob, nullptr);
    EXPECT_FALSE(blob->isList());
    EXPECT_EQ(blob->resourceType(), 10u);
    EXPECT_EQ(blob->resourceName(), "#401");
    EXPECT_EQ(blob->rawSize(), 300u);
    const auto& src = mingwPrograms().sources.at("blob.bin");
    EXPECT_EQ(std::vector<std::uint8_t>(blob->rawData().begin(), blob->rawData().end()), src);
    EXPECT_THROW(blob->subList(), EExeError);

    EXPECT_EQ(find(*root, "RCData", "ABOUT")->resourceName(), "ABOUT");
    TResourceItem* bitmapType = root->item(1);
    EXPECT_EQ(bitmapType->resourceName(), "Bitmap");
    EXPECT_TRUE(bitmapType->isList());
    EXPECT_EQ(bitmapType->rawSize(), 0u);
    EXPECT_EQ(root->item(0)->resourceName(), "SAMPLEDATA");
    EXPECT_EQ(find(*root, "SAMPLEDATA", "7")->resourceType(), root->item(0)->number());
}

TEST_P(MingwProgram, TextFormsOfStringsMenusAcceleratorsDialogsVersionAndForms) {
    EXPECT_EQ(lines(find(*root, "String", "7")),
              (std::vector<std::string>{"96,  \"first\"", "99,  \"fourth\\tone\""}));
    EXPECT_EQ(lines(find(*root, "Menu", "100")), (std::vector<std::string>{
                                                     "POPUP \"&File\"",
                                                     "  MENUITEM \"&Open\",  201",
                                                     "  MENUITEM SEPARATOR",
                                                     "  POPUP \"&Recent\"",
                                                     "    MENUITEM \"One\",  210",
                                                     "  ENDPOPUP",
                                                     "ENDPOPUP",
                                                     "POPUP \"&Help\"",
                                                     "  MENUITEM \"&About\",  203",
                                                     "ENDPOPUP",
                                                 }));
    EXPECT_EQ(
        lines(find(*root, "Accelerators", "300")),
        (std::vector<std::string>{"\"C\", 201, VIRTKEY, CONTROL", "VK_F1, 203, VIRTKEY, SHIFT, CONTROL"}));
    EXPECT_EQ(lines(find(*root, "Dialog", "200")),
              (std::vector<std::string>{
                  "DIALOG 10, 20, 180, 90",
                  "STYLE 0x80C800C0",
                  "CAPTION \"About\"",
                  "FONT 8, \"MS Sans Serif\"",
                  "BEGIN",
                  "  CONTROL \"OK\", 1, \"BUTTON\", 0x50010001, 65, 70, 50, 14",
                  "  CONTROL \"Hello\", -1, \"STATIC\", 0x50020000, 10, 10, 100, 8",
                  "  CONTROL \"\", 300, \"EDIT\", 0x50810000, 10, 30, 100, 12",
                  "  CONTROL \"\", 301, \"MYCUSTOMCLASS\", 0x50000000, 10, 50, 50, 10",
                  "END",
              }));
    const auto ex = parseDialog(find(*root, "Dialog", "EXTRA")->rawData());
    ASSERT_TRUE(ex);
    EXPECT_TRUE(ex->extended);
    EXPECT_EQ(ex->face, "Segoe UI");
    EXPECT_EQ(ex->weight, 700);
    EXPECT_TRUE(ex->italic);
    EXPECT_EQ(ex->charset, 204);
    ASSERT_EQ(ex->controls.size(), 1u);
    EXPECT_EQ(ex->controls[0].id, 400);
    EXPECT_EQ(ex->controls[0].className(), "BUTTON");
    EXPECT_EQ(ex->controls[0].style & 0xF, 3u);  // an automatic check box

    EXPECT_EQ(lines(find(*root, "Version", "1")), (std::vector<std::string>{
                                                      "Lang-charset: 040904E4",
                                                      "CompanyName: Korvalen Tests",
                                                      "FileDescription: Resource sample",
                                                      "FileVersion: ",
                                                      "InternalName: ",
                                                      "LegalCopyright: ",
                                                      "OriginalFilename: sample.exe",
                                                      "ProductName: ",
                                                      "ProductVersion: 5.6",
                                                      "Struct version: 0001.0000",
                                                      "File version: 0001.0002.0003.0004",
                                                      "Product version: 0005.0006.0000.0007",
                                                      "File flags: Debug Pre-release ",
                                                      "OS flags: NT with Win32",
                                                      "File type: Application",
                                                      "File date/time: not done yet.",
                                                  }));
    EXPECT_EQ(lines(find(*root, "RCData", "400")), (std::vector<std::string>{
                                                       "object Form1: TForm1",
                                                       "  Left = 192",
                                                       "  Caption = 'It''s here'",
                                                       "  Visible = False",
                                                       "  Items.Strings = (",
                                                       "    'a'",
                                                       "    'b')",
                                                       "  Anchors = [akLeft, akTop]",
                                                       "  Color = clBtnFace",
                                                       "  object Button1: TButton",
                                                       "    Width = 75",
                                                       "    Tag = -5",
                                                       "  end",
                                                       "end",
                                                   }));
    EXPECT_FALSE(find(*root, "RCData", "401")->textLines());
}

TEST_P(MingwProgram, SavedPicturesEqualTheFilesTheScriptNamed) {
    const auto& p = mingwPrograms();
    const test::TempDir out("kv-saved");
    const std::pair<const char*, const char*> bitmaps[] = {{"101", "b8.bmp"},  {"102", "b4used.bmp"},
                                                           {"103", "b24.bmp"}, {"104", "bfields.bmp"},
                                                           {"105", "bv5.bmp"}, {"106", "bcore.bmp"}};
    for (const auto& [name, file] : bitmaps) {
        const std::string path = out / file;
        find(*root, "Bitmap", name)->saveToFile(path);
        EXPECT_EQ(test::readBytes(path), p.sources.at(file)) << file;
    }
    // Each icon image becomes an icon file of its own: the source file cut to that image.
    TResourceList* icons = find(*root, "Icon", "1")->subList();
    ASSERT_EQ(icons->count(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string path = out / ("icon" + std::to_string(i) + ".ico");
        icons->item(i)->saveToFile(path);
        EXPECT_EQ(test::readBytes(path), test::iconFile(1, {p.iconImages[i]})) << i;
        EXPECT_EQ(icons->item(i)->resourceType(), 3u);
    }
    TResourceList* cursors = find(*root, "Cursor", "2")->subList();
    ASSERT_EQ(cursors->count(), 1u);
    cursors->item(0)->saveToFile(out / "arrow.cur");
    EXPECT_EQ(test::readBytes(out / "arrow.cur"), p.sources.at("arrow.cur"));
    // Anything else is saved as its raw bytes.
    find(*root, "RCData", "401")->saveToFile(out / "blob.bin");
    EXPECT_EQ(test::readBytes(out / "blob.bin"), p.sources.at("blob.bin"));
}

INSTANTIATE_TEST_SUITE_P(Both, MingwProgram, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "pe32plus" : "pe32"; });

}  // namespace
}  // namespace kv::exe
