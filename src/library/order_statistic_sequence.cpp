#include "library/order_statistic_sequence.h"

namespace tavrin::library {

OrderStatisticSequence::OrderStatisticSequence(std::size_t expectedSize)
{
    nodes_.reserve(expectedSize);
}

void OrderStatisticSequence::update(int node)
{
    Node& n = nodes_[static_cast<std::size_t>(node)];
    n.size = 1 + sizeOf(n.left) + sizeOf(n.right);
}

void OrderStatisticSequence::split(int node, int count, int& first, int& rest)
{
    if (node < 0) {
        first = rest = -1;
        return;
    }
    Node& n = nodes_[static_cast<std::size_t>(node)];
    if (sizeOf(n.left) >= count) {
        int leftRest = -1;
        split(n.left, count, first, leftRest);
        nodes_[static_cast<std::size_t>(node)].left = leftRest;
        rest = node;
    } else {
        int rightFirst = -1;
        split(n.right, count - sizeOf(n.left) - 1, rightFirst, rest);
        nodes_[static_cast<std::size_t>(node)].right = rightFirst;
        first = node;
    }
    update(node);
}

int OrderStatisticSequence::merge(int first, int rest)
{
    if (first < 0)
        return rest;
    if (rest < 0)
        return first;
    if (nodes_[static_cast<std::size_t>(first)].priority > nodes_[static_cast<std::size_t>(rest)].priority) {
        const int merged = merge(nodes_[static_cast<std::size_t>(first)].right, rest);
        nodes_[static_cast<std::size_t>(first)].right = merged;
        update(first);
        return first;
    }
    const int merged = merge(first, nodes_[static_cast<std::size_t>(rest)].left);
    nodes_[static_cast<std::size_t>(rest)].left = merged;
    update(rest);
    return rest;
}

void OrderStatisticSequence::insertAt(int position, int value)
{
    // xorshift64: priorities only need to be well spread, not secret.
    randomState_ ^= randomState_ << 13;
    randomState_ ^= randomState_ >> 7;
    randomState_ ^= randomState_ << 17;
    Node node;
    node.priority = static_cast<std::uint32_t>(randomState_ >> 32);
    node.value = value;
    nodes_.push_back(node);
    const int added = static_cast<int>(nodes_.size()) - 1;

    int first = -1;
    int rest = -1;
    split(root_, position, first, rest);
    root_ = merge(merge(first, added), rest);
}

int OrderStatisticSequence::at(int position) const
{
    int node = root_;
    while (node >= 0) {
        const Node& n = nodes_[static_cast<std::size_t>(node)];
        const int leftSize = sizeOf(n.left);
        if (position < leftSize) {
            node = n.left;
        } else if (position == leftSize) {
            return n.value;
        } else {
            position -= leftSize + 1;
            node = n.right;
        }
    }
    return -1;
}

std::vector<int> OrderStatisticSequence::toVector() const
{
    std::vector<int> values;
    values.reserve(static_cast<std::size_t>(size()));
    // In-order walk with an explicit stack: the tree's depth is only logarithmic on average.
    std::vector<int> stack;
    int node = root_;
    while (node >= 0 || !stack.empty()) {
        while (node >= 0) {
            stack.push_back(node);
            node = nodes_[static_cast<std::size_t>(node)].left;
        }
        node = stack.back();
        stack.pop_back();
        values.push_back(nodes_[static_cast<std::size_t>(node)].value);
        node = nodes_[static_cast<std::size_t>(node)].right;
    }
    return values;
}

} // namespace tavrin::library
