#pragma once
// The RAR layer: the seven calls the RAR extractor was built around (open with a comment
// buffer, read the next header, process or skip the entry, set the password, the data and
// the volume callbacks, close), offered over the libraries this system has: libunarr for
// RAR 1.5 to 4.x and libarchive for RAR 5, self-extractors and volume sets. The layer
// never writes a file: an entry's bytes only ever reach the data callback, so the
// extraction frame makes every file itself. The libraries' own messages on standard
// error are kept out of the user's sight.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::rar {

// The result codes of the old library's calls.
enum Code : int {
    Success = 0,
    EndArchive = 10,
    NoMemory = 11,
    BadData = 12,
    BadArchive = 13,
    UnknownFormat = 14,
    OpenError = 15,
    CreateError = 16,
    CloseError = 17,
    ReadError = 18,
    WriteError = 19,
    MissingPassword = 22,
};

// The message id a code is reported with (0 for codes that carry no message).
int messageId(int code);

// True when at least one of the libraries was built in.
bool libraryAvailable();

struct OpenData {
    std::string arcName;
    size_t commentCapacity = 16384;  // at most this many comment bytes are kept
    std::string comment;             // the archive comment, when the library gives one
    int openResult = Success;
};

// Header flags and host systems, as the old library reported them.
enum : unsigned { kFlagEncrypted = 0x04, kFlagDirectory = 0xE0 };
enum : unsigned { kHostMsDos = 0, kHostOs2 = 1, kHostWin32 = 2, kHostUnix = 3 };

struct HeaderData {
    std::string fileName;    // "/" or "\" separated; UTF-8 when nameIsUtf8
    bool nameIsUtf8 = true;  // else as stored, in the archive's code page
    std::string linkTarget;  // a symbolic link's target (its bytes are the entry's data)
    unsigned flags = 0;
    uint64_t packSize = 0, unpSize = 0;
    unsigned hostOs = kHostMsDos;
    uint32_t fileCrc = 0;  // 0 when the library does not give it
    bool crcKnown = false;
    uint32_t fileTime = 0;  // DOS date and time
    int64_t unixTime = -1;  // when the library gives a Unix time instead
    unsigned method = 0;
    uint32_t fileAttr = 0;  // DOS attributes, or st_mode for a Unix host

    bool encrypted() const { return flags & kFlagEncrypted; }
    bool directory() const { return (flags & kFlagDirectory) == kFlagDirectory; }
};

enum class Operation { Skip, Test };
enum class VolumeEvent { Ask, Notify };

// Every block the library unpacks; false stops the entry (the process call then answers
// WriteError).
using DataProc = std::function<bool(const uint8_t* data, size_t size)>;
// Ask: name is the missing volume; set it to where it is and answer true, or false to give
// up. Notify: the next volume is about to be read.
using VolumeProc = std::function<bool(std::string& name, VolumeEvent event)>;

class Archive;

struct ArchiveDeleter {
    void operator()(Archive* a) const;
};
using ArchivePtr = std::unique_ptr<Archive, ArchiveDeleter>;

// Opens the archive (volumes of a set are gathered from the first name before opening);
// null with data.openResult set when it cannot be read.
ArchivePtr openArchive(OpenData& data, const VolumeProc& volumes = {});
// The next entry's header: Success, EndArchive, or the code of why no header was read.
int readHeader(Archive& a, HeaderData& h);
// Tests (unpacks to the data callback) or skips the entry of the last header.
int processFile(Archive& a, Operation op);
void setPassword(Archive& a, const std::string& password);
void setDataProc(Archive& a, DataProc proc);
void setVolumeProc(Archive& a, VolumeProc proc);
// Closes the archive: Success or CloseError.
int closeArchive(ArchivePtr a);

// The names of a volume set from its first volume, as far as they exist: with the new
// numbering name.partN.rar or nameN.rar (the number's width kept), else name.rar,
// name.r00, name.r01, ... (the extension's case kept). volumes is told of each one found;
// a single archive gives just its own name.
std::vector<std::string> gatherVolumes(const std::string& first, bool isVolumeSet, bool newNumbering,
                                       const VolumeProc& volumes);

}  // namespace kv::rar
