// The executable resource reader on arbitrary bytes: opening, the whole tree, every item's
// name, bytes, saved form and text form, and the text readers on the bytes themselves.
// Nothing may crash, hang or read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "viewers/exe/binary_form.h"
#include "viewers/exe/dialog_template.h"
#include "viewers/exe/exe_image.h"
#include "viewers/exe/picture_files.h"
#include "viewers/exe/readable_forms.h"
#include "viewers/exe/version_info.h"

using namespace kv::exe;

namespace {

// Enough for every kind of tree; more only makes each run slower.
constexpr std::size_t kItemLimit = 256;

void walk(TResourceList& list, std::size_t& visited) {
    for (const auto& item : list.items()) {
        if (++visited > kItemLimit) std::abort();  // the item limit must hold
        (void)item->name();
        (void)item->resourceName();
        (void)item->offset();
        const Bytes raw = item->rawData();
        if (raw.size() > item->rawSize()) std::abort();
        const auto saved = item->fileContents();
        if (!item->isList() && saved.size() < raw.size()) std::abort();
        (void)item->textLines();
        if (item->isList()) walk(*item->subList(), visited);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    (void)parseDialog(input);
    (void)parseVersionInfo(input);
    (void)binaryFormToText(input);
    (void)menuLines(input);
    (void)stringTableLines(7, input);
    (void)acceleratorLines(input);
    (void)bitmapFile(input);
    (void)entryFromImage(input);
    try {
        TExeImage image("fuzz.exe", std::vector<std::uint8_t>(data, data + size));
        image.setItemLimit(kItemLimit);
        if (TResourceList* root = image.resources()) {
            std::size_t visited = 0;
            walk(*root, visited);
            if (image.iconImages() && image.iconImages()->isList())
                walk(*image.iconImages()->subList(), visited);
            if (image.cursorImages() && image.cursorImages()->isList())
                walk(*image.cursorImages()->subList(), visited);
            if (image.resources() != root) std::abort();  // built once
        }
    } catch (const EExeError&) {}
    return 0;
}
