#pragma once
// How many processors this program may run on: those of its affinity (a job pinned to two
// cores of many gets two), at least one.

namespace svt::platform {

int usableCores();

}  // namespace svt::platform
