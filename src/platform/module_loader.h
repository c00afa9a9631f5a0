#pragma once
// Loading shared objects at run time (plug-ins, optional libraries) with dlopen.
#include <string>

namespace kv::platform {

// One loaded shared object; unloads it when destroyed. Move-only.
class LoadedModule {
public:
    LoadedModule() = default;
    ~LoadedModule();
    LoadedModule(LoadedModule&& other) noexcept;
    LoadedModule& operator=(LoadedModule&& other) noexcept;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Loads path with all symbols resolved now (a module with a missing dependency fails
    // here, not at the first call). On failure isLoaded() is false and error() says why.
    static LoadedModule open(const std::string& path);

    bool isLoaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // The address of an exported symbol, or nullptr (then error() says why).
    void* symbol(const char* name);

    // The opaque handle, as a plug-in's Init receives it.
    void* handle() const { return handle_; }

private:
    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
};

// The running program's own module handle (what dlopen(nullptr) gives), the handle a
// plug-in's Init receives; symbols exported by the program can be looked up through it.
void* programModuleHandle();

}  // namespace kv::platform
