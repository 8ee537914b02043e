// Scoped owners for the kernel and service handles of the simulator's Windows code.
#pragma once

#include "common/win/unique_handle.h"

namespace kb::sim {

using UniqueHandle = kbwin::UniqueHandle;
using ServiceHandle = kbwin::UniqueService;

}  // namespace kb::sim
