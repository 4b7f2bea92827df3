#include "tables/write_generation.h"

#include <atomic>

namespace epd::tables {
namespace {
std::atomic<std::uint64_t> g_generation{1};
}

std::uint64_t WriteGeneration() { return g_generation.load(std::memory_order_acquire); }
void BumpWriteGeneration() { g_generation.fetch_add(1, std::memory_order_acq_rel); }

}  // namespace epd::tables
