// The exports of the hostile fusion.dll beyond the four the client resolves: the fuzz target
// reaches them through dlsym on the same loaded module the client uses.
#pragma once

#include <cstddef>
#include <cstdint>

// Every later answer of the module is read from these bytes, in call order; the module keeps
// no copy, so they must stay alive while the client runs. Once they are used up, enumerators
// report their end and every other call fails.
using HostileFusionScriptFunction = void (*)(const uint8_t* data, size_t size);
// Interface objects the module handed out and that are not yet released.
using HostileFusionLiveObjectsFunction = int (*)();

inline constexpr char kHostileFusionScript[] = "HostileFusionScript";
inline constexpr char kHostileFusionLiveObjects[] = "HostileFusionLiveObjects";
