#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace svt::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::open(const std::string& path) {
    close();
    error_.clear();
    if (path.empty()) {
        error_ = "no library named";
        return false;
    }
    // RTLD_LOCAL: two libraries with the same entry-point names must not see each other's.
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        error_ = why != nullptr ? why : path + ": cannot be loaded";
        return false;
    }
    return true;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return ::dlsym(handle_, name);
}

std::string sharedLibraryFileName(const std::string& baseName) {
    return "lib" + baseName + ".so";
}

}  // namespace svt::platform
