#include "platform/Cores.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace svt::platform {

int usableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace svt::platform
