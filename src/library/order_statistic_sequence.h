// A sequence of ints with insertion at any position and access by position, both in
// O(log n) expected time (an implicit treap).
#pragma once

#include <cstdint>
#include <vector>

namespace tavrin::library {

class OrderStatisticSequence
{
public:
    explicit OrderStatisticSequence(std::size_t expectedSize = 0);

    [[nodiscard]] int size() const { return root_ < 0 ? 0 : nodes_[static_cast<std::size_t>(root_)].size; }
    // Inserts `value` so that it ends up at zero-based `position` (0 to size()).
    void insertAt(int position, int value);
    // The value at zero-based `position` (0 to size() - 1).
    [[nodiscard]] int at(int position) const;
    [[nodiscard]] std::vector<int> toVector() const;

private:
    struct Node
    {
        int left = -1;
        int right = -1;
        int size = 1;
        std::uint32_t priority = 0;
        int value = 0;
    };

    [[nodiscard]] int sizeOf(int node) const
    {
        return node < 0 ? 0 : nodes_[static_cast<std::size_t>(node)].size;
    }
    void update(int node);
    // Splits `node` into its first `count` elements and the rest.
    void split(int node, int count, int& first, int& rest);
    [[nodiscard]] int merge(int first, int rest);

    std::vector<Node> nodes_;
    int root_ = -1;
    std::uint64_t randomState_ = 0x9E3779B97F4A7C15ull;
};

} // namespace tavrin::library
