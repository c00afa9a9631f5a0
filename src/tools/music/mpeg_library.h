#pragma once
// The MPEG audio library the MPEG player component drives: a module whose 19 entry points
// are fetched by name. The built-in module decodes with libmpg123 and plays into the sound
// output (device 0) or writes raw 16-bit PCM to a file (device 2). Positions and lengths
// are in milliseconds. Every call that can fail leaves its code for LastError: 0 none,
// 1 decoder, 2 wrong mode, 3 input stream, 4 stream cannot seek, 5 output device.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kv::music::mpeglib {

// The stream callbacks of stream mode; ctx is what Open was given.
using StreamOpenFn = int (*)(void* ctx, int* nonseekable);  // non-zero: opened
using StreamCloseFn = void (*)(void* ctx);
using StreamRestartFn = int (*)(void* ctx);  // non-zero: back at the start
using StreamReadFn = int (*)(void* ctx, void* buffer, uint32_t toRead, uint32_t* read);  // non-zero: ok
using StreamSeekFn = long (*)(void* ctx, long bytes, int moveMethod);                    // new position or -1
using StreamSizeFn = long (*)(void* ctx);                                                // size or -1

using InitFn = int (*)(void* arg);  // non-zero: ready
using DeinitFn = void (*)();
using OpenFn = int (*)(const char* nameBuffer, int streamMode, StreamOpenFn, StreamCloseFn, StreamRestartFn,
                       StreamReadFn, StreamSeekFn, StreamSizeFn, void* ctx);
using PauseFn = void (*)(int play);  // 0 pauses, non-zero plays on
using RestartFn = void (*)(int from);
using StopFn = void (*)();
using SetPriorityFn = void (*)(int priority);
using SetOutputDeviceFn = void (*)(int device, const char* fileBuffer);
using PlayFn = int (*)(int startPos, int endPos, std::atomic<bool>* finished);  // 0: playing
using CloseFn = void (*)();
using GetIntFn = int (*)();            // GetFrequency, GetBitrate, GetLayer, GetPlayerMode, LastError
using GetPosFn = int (*)(int unused);  // GetCurrentPos, GetLength
using ResetPlayerModeFn = void (*)();
using SeekFn = int (*)(int pos);

enum PlayerMode { kModeStopped = 0, kModePlaying = 1, kModePaused = 2, kModeFinished = 3 };

class Module {
public:
    virtual ~Module() = default;
    // The entry point of that name, or null.
    virtual void* resolve(const char* name) = 0;
};

// Loads the module of that file name; null when it cannot be loaded.
using Loader = std::function<std::unique_ptr<Module>(const std::string& fileName)>;

// The module linked into the program; the file name is only a name to it.
std::unique_ptr<Module> loadBuiltIn(const std::string& fileName);

}  // namespace kv::music::mpeglib
