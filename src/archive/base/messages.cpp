#include "archive/base/messages.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kv {
namespace {

struct Entry {
    int id;
    std::string_view text;
};

// Sorted by id for the binary search below.
constexpr Entry kTable[] = {
    {25102, "File is read-only"},
    {25103, "File is hidden"},
    {25104, "File is a SysFile"},
    {25105, "File is a directory"},
    {25106, "File is a VolumeID"},
    {25107, "Invalid file attribute"},
    {25108, "Bad file header"},
    {25109, "Bad block"},
    {25110, "Bad Huffman code"},
    {25111, "Invalid code encountered"},
    {25112, "Invalid comment header"},
    {25113, "No BEGIN line"},
    {25114, "Incorrect number of bits"},
    {25115, "Error writing to file"},
    {25117, "Error closing file"},
    {25118, "Incomplete code set"},
    {25119, "Corrupt input"},
    {25120, "Error creating dir"},
    {25121, "File fails CRC check"},
    {25122, "File contains invalid decode tree"},
    {25123, "Invalid directory"},
    {25124, "Invalid directory... defaulting to current"},
    {25125, "Disk full"},
    {25126, "Unexpected end of file"},
    {25127, "Unexpected end of line"},
    {25128, "EOL not found"},
    {25129, "Error deleting file(s)"},
    {25130, "Command exec failed"},
    {25131, "Same input and output file-names"},
    {25132, "File not found"},
    {25133, "File size different"},
    {25134, "Warning, unknown flags"},
    {25135, "Error opening file"},
    {25136, "Error reading file or unexpected end of file"},
    {25137, "Header CRC error"},
    {25138, "Header ID error"},
    {25139, "Unexpected line break"},
    {25140, "Line found before 'BEGIN'"},
    {25141, "Skipped illegal char"},
    {25142, "Invalid or unsupported archive type for this operation"},
    {25143, "Invalid file name"},
    {25144, "Invalid length in send_bits"},
    {25145, "Inconsistent bit counts - gencodes"},
    {25147, "Bad lengths"},
    {25148, "Inconsistant local header"},
    {25149, "Insufficient lookahead"},
    {25150, "Maximum volumes 999"},
    {25153, "Out of memory"},
    {25155, "Uninitialized TMemoryStream object"},
    {25156, "Uninitialized TFileStream object"},
    {25157, "Header not found. File may be corrupt"},
    {25158, "Unrar.dll not found"},
    {25159, "Cabinet.dll not found"},
    {25162, "Multi-Part GZIP files not supported"},
    {25163, "Too many nested dirs"},
    {25164, "Nothing to decode"},
    {25170, "Required event not assigned"},
    {25180, "Open quote, but no close quote"},
    {25181, "Open paran, but no close paran"},
    {25190, "Password protected"},
    {25191, "Seek error"},
    {25192, "Ambiguous Shannon-Fano decode tree encountered"},
    {25193, "No desktop folder"},
    {25194, "Error getting SHGetSpecialFolderLocation"},
    {25195, "Error getting Shell memory allocator"},
    {25196, "Illegal text for search mode"},
    {25197, "Stack overflow"},
    {25198, "Stream read/write error"},
    {25199, "Streaming not supported with this archive type"},
    {25200, "Unsupported compression method"},
    {25202, "Unknown file type"},
    {25204, "Unsupported version"},
    {25210, "Error updating archive"},
    {25300, "User Aborted"},
    {25302, "Version error"},
    {25350, "Requires Win32 api"},
    {25901, "Extraction of this cabinet requires first disk of set"},
    {25902, "Previous volume in set"},
    {25903, "Next volume in set"},
    {25904, "Cabinet does not belong with this set"},
    {26000, "All_files (*.*)|*.*"},
    {26001,
     "ALL Archives "
     "|*.arc;*.arj;*.bh;*.cab;*.enc;*.exe;*.gz;*.ha;*.lha;*.lzh;*.pak;*.rar;*.tar;*.uue;*.xxe;*.z;*.zip;*."
     "zoo"},
    {26002, "Executables (*.exe)"},
    {26003, "All_ZIPs (*.zip,*.exe)|*.zip;*.exe"},
    {26004, "All_GZips (*.gz,*.z)|*.gz;*.z"},
    {26005, "All_ARCs (*.arc,*.exe)|*.arc;*.exe"},
    {26006, "All_ARJs (*.arj,*.exe)|*.arj;*.exe"},
    {26007, "All_LHAs (*.lha,*.lzh)|*.lha;*.lzh"},
    {26008, "All_BlakHole  (*.bh ,*.exe)|*.bh;*.exe"},
    {26009, "All_TARs (*.tar)|*.tar"},
    {26010, "All_CABs (*.cab)|*.cab"},
    {26011, "All_UUEs (*.uue,*.xxe,*.enc)|*.uue;*.xxe;*.enc"},
    {26517, "Invalid password"},
    {26522, "Password failed"},
    {26900, "Skipped File"},
    {26999, "Nothing to do"},
};

}  // namespace

std::string_view messageText(int id) {
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                               [](const Entry& e, int v) { return e.id < v; });
    return (it != std::end(kTable) && it->id == id) ? it->text : std::string_view{};
}

E_RAISE::E_RAISE(int id, std::string extra)
    : std::runtime_error(std::string(messageText(id))), id_(id), extra_(std::move(extra)) {}

}  // namespace kv
