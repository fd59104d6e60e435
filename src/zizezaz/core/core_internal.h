// core_internal.h: what the core modules share among themselves. Not for callers.
#pragma once

// The core's source name: the location that its own fatal reports carry.
inline constexpr char CORE_SOURCE_NAME[] = "orv-core";
