// The file viewer's reader on hostile bytes: detection, every mode and encoding laid out
// from both ends, a text search, and a jump to a line; none may read out of bounds or loop.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "viewers/view/view_document.h"
#include "viewers/view/view_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("view", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    using namespace kv::view;
    ViewDocument d;
    if (d.open("/proc/self/fd/" + std::to_string(fd), nullptr)) {
        const int columns = size > 0 ? 1 + data[0] % 40 : 10;
        for (Encoding e : kAllEncodings)
            for (ViewMode m : {ViewMode::Text, ViewMode::Hex, ViewMode::Dump})
                for (bool wrap : {true, false}) {
                    d.setEncoding(e);
                    d.setMode(m);
                    d.setWrap(wrap);
                    d.setPageSize(columns, 7);
                    d.page();
                    d.end();
                    d.page();
                    d.scroll(-5);
                    d.scroll(3);
                    d.gotoPercent(50);
                    d.page();
                }
        d.setMode(ViewMode::Text);
        d.gotoLine(3);
        d.lineNumberAt(size / 2);
        SearchRequest r{.text = "ab\xD0\x96", .encoding = d.encoding(), .from = 0};
        if (auto p = SearchPattern::compile(r, nullptr)) {
            SearchProgress progress;
            searchFile(fd, size, *p, r, progress, 7);
            r.backward = true;
            r.from = size;
            searchFile(fd, size, *p, r, progress, 7);
        }
    }
    ::close(fd);
    return 0;
}
