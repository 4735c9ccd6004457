#pragma once
// A library loaded at run time, whose functions are looked up by name.

#include <string>

namespace svt::platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    ~DynamicLibrary() { close(); }

    // Loads `path`; a bare file name goes through the system's ordinary library search.
    // False when it cannot be loaded; `error()` then says why.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    // The address of an exported function, or null when the library has none of that name.
    void* symbol(const char* name) const;
    const std::string& error() const { return error_; }

  private:
    void* handle_ = nullptr;
    std::string error_;
};

// The file name of a run-time library called `baseName` on this system ("gogo" gives
// "libgogo.so" here, "gogo.dll" on Windows).
std::string sharedLibraryFileName(const std::string& baseName);

}  // namespace svt::platform
