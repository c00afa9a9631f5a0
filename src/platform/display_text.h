#pragma once
// Names and comments from archives and folders are shown to people: control characters in
// them must not reach a terminal (they move the cursor, set the title, forge lines) nor
// vanish unseen in a panel. The same holds for the characters that draw nothing but change
// how the rest is drawn: direction overrides turn "invoice<RLO>gpj.exe" into what reads as
// "invoiceexe.jpg", and zero-width characters make two different names look alike.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

// Characters that are drawn as nothing, or that reorder or break the text around them:
// direction marks, embeddings, overrides and isolates, the line and paragraph separators,
// zero-width spaces, joiners and other default-ignorable format characters. `before` and
// `after` are the neighbouring code points (0 at the text's ends): a zero-width joiner
// between two non-ASCII characters (emoji sequences, Indic conjuncts) and a variation
// selector after a non-ASCII character change a glyph, not the reading, and are kept.
bool isHiddenFormatChar(std::uint32_t cp, std::uint32_t before, std::uint32_t after);

// For terminals and tab-separated output: C0 controls (including TAB and LF), DEL, the C1
// controls U+0080..U+009F, the hidden format characters above and bytes that are no UTF-8
// become \xHH, one escape a byte (a C1 control gives two, "\xc2\x9b"; U+202E gives
// "\xe2\x80\xae"); a backslash becomes "\\" so that an escape in the output always means an
// escaped byte. Other UTF-8 text is kept as it is.
std::string escapeControls(std::string_view utf8);

// For the panels, dialogs and messages: a C0 control becomes its control picture
// (U+2400 + c, so ESC shows as U+241B), DEL becomes U+2421, a hidden format character
// becomes its code in view ("<U+202E>"), and a C1 control or a byte that is no UTF-8
// becomes U+FFFD.
std::string visibleControls(std::string_view utf8);

}  // namespace kv::platform
