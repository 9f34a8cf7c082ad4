#include "cli/shard.h"

#include <charconv>
#include <vector>

namespace tavrin::cli {

namespace {

std::optional<int> wholeNumber(std::string_view digits)
{
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

} // namespace

std::string Shard::text() const
{
    return std::to_string(index) + "/" + std::to_string(count);
}

std::optional<Shard> parseShard(std::string_view given, std::string& why)
{
    const std::size_t slash = given.find('/');
    const std::optional<int> index =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(given.substr(0, slash));
    const std::optional<int> count =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(given.substr(slash + 1));
    if (!index || !count) {
        why = "is not K/N with two whole numbers";
        return std::nullopt;
    }
    if (*count < 1) {
        why = "splits the rows into no shards: N must be at least 1";
        return std::nullopt;
    }
    if (*index < 0 || *index >= *count) {
        why = "names no shard: K counts from 0 and must be below N";
        return std::nullopt;
    }
    return Shard{*index, *count};
}

void keepShard(base::ListStore& list, const Shard& shard)
{
    if (shard.count == 1)
        return;
    std::vector<base::ListStore::Row> rows = list.rows();
    list.deleteAll();
    for (std::size_t position = static_cast<std::size_t>(shard.index); position < rows.size();
         position += static_cast<std::size_t>(shard.count)) {
        base::ListStore::Row& row = rows[position];
        list.appendRow(std::move(row.cells), std::move(row.source));
    }
}

} // namespace tavrin::cli
