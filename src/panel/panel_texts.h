#pragma once
// The words a panel paints around its figures. English is built in; the main window
// replaces them from the language file's "Panel" section when the language is not English.
#include <string>
#include <string_view>
#include <utility>

namespace kv {

struct TPanelTexts {
    // Status strip.
    std::string FreeOnDrive = " Mb free on current drive";
    std::string BytesIn = " bytes in ";
    std::string Files = " files";
    std::string Folder = "Folder";
    // While a big folder is read: Reading + count + Entries; after Esc: ReadCancelled.
    // (Not in the language file yet: every language shows these in English.)
    std::string Reading = "Reading... ";
    std::string Entries = " entries";
    std::string ReadCancelled = "Reading cancelled";
    // Information view.
    std::string TotalDriveSize = "Total drive size - ";
    std::string Bytes = " bytes";
    std::string FreeSpace = "Free space - ";
    std::string TotalMemory = "Total memory - ";
    std::string Kb = " Kb";
    std::string SwapFile = "Swap file - ";
    std::string NoSwapFile = "The file swop is not find";
    std::string MemoryLoad = "Memory load - ";
    std::string VolumeLabel = "Volume label ";
    std::string SerialNumber = "Serial Number: ";
};

// The keys of the language file's "Panel" section, with the word each one replaces.
inline constexpr std::pair<std::string_view, std::string TPanelTexts::*> kPanelTextKeys[] = {
    {"FreeOnDrive", &TPanelTexts::FreeOnDrive},
    {"BytesIn", &TPanelTexts::BytesIn},
    {"Files", &TPanelTexts::Files},
    {"Folder", &TPanelTexts::Folder},
    {"TotalDriveSize", &TPanelTexts::TotalDriveSize},
    {"Bytes", &TPanelTexts::Bytes},
    {"FreeSpace", &TPanelTexts::FreeSpace},
    {"TotalMemory", &TPanelTexts::TotalMemory},
    {"Kb", &TPanelTexts::Kb},
    {"SwapFile", &TPanelTexts::SwapFile},
    {"NoSwapFile", &TPanelTexts::NoSwapFile},
    {"MemoryLoad", &TPanelTexts::MemoryLoad},
    {"VolumeLabel", &TPanelTexts::VolumeLabel},
    {"SerialNumber", &TPanelTexts::SerialNumber},
};

}  // namespace kv
