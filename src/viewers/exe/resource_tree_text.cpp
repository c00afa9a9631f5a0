#include "viewers/exe/resource_tree_text.h"

#include <cstdio>
#include <ostream>

#include "platform/display_text.h"
#include "viewers/exe/exe_image.h"

namespace kv::exe {

namespace {

void printList(TResourceList& list, int level, std::ostream& out) {
    for (const auto& item : list.items()) {
        out << std::string(std::size_t(level) * 2, ' ') << platform::escapeControls(item->name());
        if (item->isList()) {
            out << '\n';
            printList(*item->subList(), level + 1, out);
        } else {
            char buf[64];
            std::snprintf(buf, sizeof buf, "  [Offset: %X  Size: %X]\n", item->offset(), item->rawSize());
            out << buf;
        }
    }
}

}  // namespace

void printResourceTree(TResourceList& root, std::ostream& out) { printList(root, 0, out); }

int printResourceTreeOfFile(const std::string& path, std::ostream& out, std::ostream& err) {
    const std::string shown = platform::escapeControls(path);
    try {
        TExeImage image(path);
        if (image.status() == TExeImage::kNotPE) {
            err << shown << ": Not a PE file.\n";
            return 2;
        }
        TResourceList* root = image.resources();
        if (!root) {
            err << shown << ": No resources.\n";
            return 3;
        }
        printResourceTree(*root, out);
        for (const auto& p : image.problems()) err << shown << ": " << p << '\n';
        return image.problems().empty() ? 0 : 1;
    } catch (const EExeError& e) {
        err << shown << ": " << e.what() << '\n';
        return 1;
    }
}

}  // namespace kv::exe
