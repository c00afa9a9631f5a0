#pragma once
// The resource tree as text, for `kv --resources FILE` and for scripts: one line per item,
// two blanks a level; data items add their address and size in hexadecimal.
//   Bitmap
//     101  [Offset: 6A0F0  Size: 2A8]
#include <iosfwd>
#include <string>

namespace kv::exe {

class TResourceList;

void printResourceTree(TResourceList& root, std::ostream& out);

// Opens the file and prints its tree to out; messages go to err. Answers the exit status:
// 0 when everything was read, 1 when the file could not be opened or parts of it could
// not be read (each said on err), 2 not a PE file, 3 no resources.
int printResourceTreeOfFile(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace kv::exe
