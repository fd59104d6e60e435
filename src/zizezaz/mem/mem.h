// mem.h: the tracked allocator. Blocks are zero-filled, framed by guard
// bytes derived from their address, counted against a limit and checked
// when given back; every failure is fatal, so callers never see one.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t MEM_LOCAL_HEAP = 2;

std::int32_t MemInit(std::int32_t limit);
// Reports peak use and blocks not given back; frees nothing.
std::int32_t MemRemove();
// Never null. The area is aligned for any record (16 bytes).
void* MemAlloc(std::int32_t size, std::uint32_t flags, const char* sourceName, std::int32_t line);
// size and flags must be those given to MemAlloc.
void MemFree(void* pointer, std::int32_t size, std::uint32_t flags, const char* sourceName,
             std::int32_t line);
