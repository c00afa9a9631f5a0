#pragma once
// Forms stored in the binary form format ("TPF0": objects, their properties and children)
// written out in the textual form format:
//   object Form1: TForm1
//     Caption = 'Hello'
//     object Button1: TButton
//       Left = 8
//     end
//   end
#include <string>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

bool isBinaryForm(Bytes data);  // starts with "TPF0"

struct FormText {
    std::vector<std::string> lines;  // as far as the data could be read
    std::string error;               // why the conversion stopped early; empty when it did not
};
FormText binaryFormToText(Bytes data);

}  // namespace kv::exe
