#pragma once
// Two small Windows programs, 32-bit and 64-bit, built once per test run with the MinGW
// resource compiler and cross compilers from a resource script holding one of every kind
// the explorer reads. The source pictures are written byte by byte here, so a test can
// compare what the reader saves with what went in.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exe/pictures.h"
#include "support/temp_dir.h"

namespace kv::test {

inline bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A stored form: TForm1 "Form1" with a few properties of different kinds and one button.
inline std::vector<std::uint8_t> storedForm() {
    ByteWriter w;
    auto str = [&](const std::string& s) { w.u8(s.size()).text(s); };
    w.text("TPF0");
    str("TForm1");
    str("Form1");
    str("Left"), w.u8(3).u16(192);                                                 // vaInt16
    str("Caption"), w.u8(6), str("It's here");                                     // vaString
    str("Visible"), w.u8(8);                                                       // vaFalse
    str("Items.Strings"), w.u8(1), w.u8(6), str("a"), w.u8(6), str("b"), w.u8(0);  // vaList
    str("Anchors"), w.u8(11), str("akLeft"), str("akTop"), w.u8(0);                // vaSet
    str("Color"), w.u8(7), str("clBtnFace");                                       // vaIdent
    w.u8(0);                                                                       // end of properties
    str("TButton");
    str("Button1");
    str("Width"), w.u8(2).u8(75);                // vaInt8
    str("Tag"), w.u8(4).u32(std::uint32_t(-5));  // vaInt32
    w.u8(0);                                     // end of the button's properties
    w.u8(0);                                     // the button has no children
    w.u8(0);                                     // end of the form's children
    return w.b;
}

struct MingwPrograms {
    std::unique_ptr<TempDir> dir;
    std::string exe32, exe64;
    std::string error;                                         // why they could not be built
    std::map<std::string, std::vector<std::uint8_t>> sources;  // file name -> bytes

    std::vector<IconImage> iconImages, cursorImages;
};

inline int runQuiet(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

inline const MingwPrograms& mingwPrograms() {
    static const MingwPrograms programs = [] {
        MingwPrograms p;
        const char* tools[] = {"x86_64-w64-mingw32-windres", "x86_64-w64-mingw32-gcc",
                               "i686-w64-mingw32-windres", "i686-w64-mingw32-gcc"};
        for (const char* t : tools)
            if (!haveProgram(t)) {
                p.error = std::string(t) + " is not installed (scripts/install-deps)";
                return p;
            }
        p.dir = std::make_unique<TempDir>("kv-mingw");
        const TempDir& d = *p.dir;

        p.iconImages = {{16, 4, iconImage(16, 4, 1)}, {32, 8, iconImage(32, 8, 2)}};
        p.cursorImages = {{32, 1, iconImage(32, 1, 3), 5, 7}};
        p.sources["app.ico"] = iconFile(1, p.iconImages);
        p.sources["arrow.cur"] = iconFile(2, p.cursorImages);
        p.sources["b8.bmp"] = bitmapFile({40, 8, 0, 0});
        p.sources["b4used.bmp"] = bitmapFile({40, 4, 0, 5});
        p.sources["b24.bmp"] = bitmapFile({40, 24, 0, 0});
        p.sources["bfields.bmp"] = bitmapFile({40, 16, 3, 0});
        p.sources["bv5.bmp"] = bitmapFile({124, 32, 3, 0});
        p.sources["bcore.bmp"] = bitmapFile({12, 1, 0, 0, 8, 2});
        p.sources["form.bin"] = storedForm();
        p.sources["blob.bin"] = pattern(300, 9);
        for (const auto& [name, bytes] : p.sources) writeBytes(d / name, bytes);

        std::ofstream(d / "app.rc") << R"(
1 ICON "app.ico"
2 CURSOR "arrow.cur"
101 BITMAP "b8.bmp"
102 BITMAP "b4used.bmp"
103 BITMAP "b24.bmp"
104 BITMAP "bfields.bmp"
105 BITMAP "bv5.bmp"
106 BITMAP "bcore.bmp"
STRINGTABLE
BEGIN
  96 "first"
  99 "fourth\tone"
END
100 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open", 201
    MENUITEM SEPARATOR
    POPUP "&Recent"
    BEGIN
      MENUITEM "One", 210
    END
  END
  POPUP "&Help"
  BEGIN
    MENUITEM "&About", 203
  END
END
200 DIALOG 10, 20, 180, 90
STYLE 0x80C800C0
CAPTION "About"
FONT 8, "MS Sans Serif"
BEGIN
  DEFPUSHBUTTON "OK", 1, 65, 70, 50, 14
  LTEXT "Hello", -1, 10, 10, 100, 8
  EDITTEXT 300, 10, 30, 100, 12
  CONTROL "", 301, "MyCustomClass", 0x50000000, 10, 50, 50, 10
END
EXTRA DIALOGEX 0, 0, 100, 40
STYLE 0x80C800C8
CAPTION "Extended"
FONT 9, "Segoe UI", 700, 1, 204
BEGIN
  AUTOCHECKBOX "Check", 400, 5, 5, 60, 10
END
300 ACCELERATORS
BEGIN
  "^C", 201
  0x70, 203, VIRTKEY, CONTROL, SHIFT
END
1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 5,6,0,7
FILEFLAGSMASK 0x3F
FILEFLAGS 0x3
FILEOS 0x40004
FILETYPE 0x1
FILESUBTYPE 0x0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "CompanyName", "Korvalen Tests"
      VALUE "FileDescription", "Resource sample"
      VALUE "OriginalFilename", "sample.exe"
      VALUE "ProductVersion", "5.6"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
END
400 RCDATA "form.bin"
401 RCDATA "blob.bin"
ABOUT RCDATA { "named" }
7 SAMPLEDATA { "typed" }
)";
        std::ofstream(d / "main.c") << "int main(void) { return 0; }\n";
        struct Target {
            const char* prefix;
            std::string* out;
            const char* name;
        };
        for (const Target& t : {Target{"i686-w64-mingw32", &p.exe32, "sample32.exe"},
                                Target{"x86_64-w64-mingw32", &p.exe64, "sample64.exe"}}) {
            const std::string obj = d / (std::string(t.prefix) + ".res.o");
            const std::string in = "cd '" + d.path() + "' && ";
            if (runQuiet(in + t.prefix + "-windres app.rc -O coff -o '" + obj + "'") != 0 ||
                runQuiet(in + t.prefix + "-gcc -s -o " + t.name + " main.c '" + obj + "'") != 0) {
                p.error = std::string("building ") + t.name + " failed";
                return p;
            }
            *t.out = d / t.name;
        }
        return p;
    }();
    return programs;
}

}  // namespace kv::test
