// pool.h: typed pools of fixed-size records cut from tracked blocks.
// Members in use are remembered, so a foreign or doubled give-back is caught.
#pragma once

#include <cstdint>

struct Pool;

std::int32_t PoolCreate(Pool** out, const char* creatorFile, std::int32_t creatorLine);
std::int32_t PoolSetMemberSize(Pool* pool, std::int32_t memberSize);
std::int32_t PoolSetBlockCount(Pool* pool, std::int32_t count);
void* PoolAlloc(Pool* pool, std::int32_t size, const char* file, std::int32_t line);
// Gives *member back and nulls it.
void PoolFree(Pool* pool, void** member, std::int32_t size, const char* file, std::int32_t line);
// Reports members still out, releases everything and nulls *pool.
std::int32_t PoolDestroy(Pool** pool);
std::int32_t PoolReset(Pool* pool);
