#include "platform/module_loader.h"

#include <dlfcn.h>

#include <utility>

namespace kv::platform {

LoadedModule::~LoadedModule() {
    if (handle_) ::dlclose(handle_);
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
    if (this != &other) {
        if (handle_) ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

LoadedModule LoadedModule::open(const std::string& path) {
    LoadedModule m;
    m.path_ = path;
    ::dlerror();
    // RTLD_LOCAL keeps two plug-ins exporting the same names apart.
    m.handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m.handle_) {
        const char* e = ::dlerror();
        m.error_ = e ? e : ("cannot load " + path);
    }
    return m;
}

void* LoadedModule::symbol(const char* name) {
    if (!handle_) return nullptr;
    ::dlerror();
    void* p = ::dlsym(handle_, name);
    if (!p) {
        const char* e = ::dlerror();
        error_ = e ? e : (std::string(name) + " not found in " + path_);
    }
    return p;
}

void* programModuleHandle() {
    // Opened once and kept: the program's own handle stays valid for the whole run.
    static void* const self = ::dlopen(nullptr, RTLD_NOW);
    return self;
}

}  // namespace kv::platform
