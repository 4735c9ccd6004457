#include "platform/Cores.h"

#include <algorithm>
#include <bit>
#include <thread>

#include "platform/windows/Win32.h"

namespace svt::platform {

int usableCores() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<unsigned long long>(process));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace svt::platform
