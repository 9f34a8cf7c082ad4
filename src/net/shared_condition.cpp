#include "net/shared_condition.h"

#include <array>
#include <cstdint>

namespace tavrin::net {

namespace {

constexpr int kBits = 10;

} // namespace

std::condition_variable_any& sharedCondition(const void* waitedOn)
{
    // Never destroyed: the network thread may still notify while the program ends.
    static auto* const conditions = new std::array<std::condition_variable_any, std::size_t{1} << kBits>();
    // Fibonacci hashing: the high bits of the product depend on every bit of the address, so
    // objects laid out at regular distances spread over the whole set.
    const std::uint64_t mixed =
        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(waitedOn)) * 0x9E3779B97F4A7C15ULL;
    return (*conditions)[static_cast<std::size_t>(mixed >> (64 - kBits))];
}

} // namespace tavrin::net
