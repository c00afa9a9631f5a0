#pragma once
// Names and comments from archives and folders are shown to people: control characters in
// them must not reach a terminal (they move the cursor, set the title, forge lines) nor
// vanish unseen in a panel.
#include <string>
#include <string_view>

namespace kv::platform {

// For terminals and tab-separated output: C0 controls (including TAB and LF), DEL, the C1
// controls U+0080..U+009F and bytes that are no UTF-8 become \xHH, one escape a byte (a C1
// control gives two, "\xc2\x9b"); a backslash becomes "\\" so that an escape in the output
// always means an escaped byte. Other UTF-8 text is kept as it is.
std::string escapeControls(std::string_view utf8);

// For the panels: a C0 control becomes its control picture (U+2400 + c, so ESC shows as
// U+241B), DEL becomes U+2421, and a C1 control or a byte that is no UTF-8 becomes U+FFFD.
std::string visibleControls(std::string_view utf8);

}  // namespace kv::platform
