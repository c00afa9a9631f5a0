#pragma once
// The picture viewer, the text editor and the file viewer as File_Work handlers, and the
// editor for F4.
#include <string>

namespace kv {

class TForm1;

// Full-screen viewer on the active panel's entry; steps through that panel (modal).
void showPictureViewer(TForm1& form, const std::string& path);
// A new editor window on the file; a binary or oversized file goes to the viewer instead,
// a file that cannot be read gets the error box and no window.
void openTextEditor(TForm1& form, const std::string& path);
// A new viewer window on any file (F4 there opens the editor for a file it takes); a
// file that cannot be read gets the error box.
void openFileViewer(TForm1& form, const std::string& path);
// F4: the entry under the cursor in our editor when it is a text file (true); false leaves
// folders and binary files to the caller.
bool editInOurEditor(TForm1& form);

}  // namespace kv
