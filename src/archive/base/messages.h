#pragma once
// The numbered message table of the archive components and their exception.
#include <stdexcept>
#include <string>
#include <string_view>

namespace kv {

namespace msg {
inline constexpr int FileReadOnly = 25102, FileHidden = 25103, FileSysFile = 25104, FileDirectory = 25105,
                     FileVolumeID = 25106, InvalidAttr = 25107, BadFileHeader = 25108, BadBlock = 25109,
                     BadHuffmanCode = 25110, InvalidCode = 25111, InvalidCommentHeader = 25112,
                     NoBeginLine = 25113, IncorrectBits = 25114, WriteError = 25115, CloseError = 25117,
                     IncompleteCodeSet = 25118, CorruptInput = 25119, CreateDirError = 25120,
                     CrcFailed = 25121, InvalidDecodeTree = 25122, InvalidDir = 25123,
                     InvalidDirDefault = 25124, DiskFull = 25125, UnexpectedEof = 25126,
                     UnexpectedEol = 25127, EolNotFound = 25128, DeleteError = 25129, ExecFailed = 25130,
                     SameInOut = 25131, FileNotFound = 25132, SizeDifferent = 25133, UnknownFlags = 25134,
                     OpenError = 25135, ReadError = 25136, HeaderCrcError = 25137, HeaderIdError = 25138,
                     UnexpectedLineBreak = 25139, LineBeforeBegin = 25140, SkippedIllegalChar = 25141,
                     UnsupportedArcType = 25142, InvalidFileName = 25143, InvalidSendBits = 25144,
                     InconsistentBitCounts = 25145, BadLengths = 25147, InconsistentLocalHeader = 25148,
                     InsufficientLookahead = 25149, MaxVolumes = 25150, OutOfMemory = 25153,
                     NoMemoryStream = 25155, NoFileStream = 25156, HeaderNotFound = 25157,
                     UnrarNotFound = 25158, CabinetDllNotFound = 25159, MultiPartGzip = 25162,
                     TooManyNestedDirs = 25163, NothingToDecode = 25164, EventNotAssigned = 25170,
                     OpenQuote = 25180, OpenParen = 25181, PasswordProtected = 25190, SeekError = 25191,
                     AmbiguousShannonFano = 25192, NoDesktopFolder = 25193, ShellFolderError = 25194,
                     ShellAllocatorError = 25195, IllegalSearchText = 25196, StackOverflow = 25197,
                     StreamError = 25198, StreamingNotSupported = 25199, UnsupportedMethod = 25200,
                     UnknownFileType = 25202, UnsupportedVersion = 25204, UpdateError = 25210,
                     UserAborted = 25300, VersionError = 25302, RequiresWin32 = 25350,
                     CabNeedsFirstDisk = 25901, PrevVolume = 25902, NextVolume = 25903, CabWrongSet = 25904,
                     InvalidPassword = 26517, PasswordFailed = 26522, SkippedFile = 26900,
                     NothingToDo = 26999;
}  // namespace msg

// The table text of an id; an id without a text gives an empty view.
std::string_view messageText(int id);

// Open-dialog filters for archive files, ids 26000..26011.
inline constexpr int FilterFirstId = 26000, FilterLastId = 26011;

// Raised for fatal conditions inside a component's job; what() is the table text.
class E_RAISE : public std::runtime_error {
public:
    explicit E_RAISE(int id, std::string extra = {});
    int id() const { return id_; }
    const std::string& extra() const { return extra_; }

private:
    int id_;
    std::string extra_;
};

}  // namespace kv
