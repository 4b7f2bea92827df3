#pragma once

#include <cstdint>

// A process-wide count of the engine's own writes to table files. A table handle that keeps
// records or a record count in memory compares it with the count it saw, so that a change made
// through another handle or a statement is never hidden behind a stale copy.
namespace epd::tables {

std::uint64_t WriteGeneration();
void BumpWriteGeneration();

}  // namespace epd::tables
