#include "net/fetch_block.h"

#include <algorithm>
#include <array>

namespace tavrin::net {

void FetchBlock::writeRaw(std::string_view raw)
{
    const std::size_t overwritten = std::min(raw.size(), bytes_.size() - position_);
    bytes_.replace(position_, overwritten, raw);
    position_ += raw.size();
}

void FetchBlock::writeText(std::string_view text)
{
    writeRaw(text::untilNul(text));
    writeRaw(std::string_view("\0", 1));
}

bool FetchBlock::writeBytes(std::string_view bytes)
{
    if (bytes.size() > kMaxBytesLength)
        return false;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const std::array<char, 4> field = {
        static_cast<char>(length & 0xFFu),
        static_cast<char>((length >> 8) & 0xFFu),
        static_cast<char>((length >> 16) & 0xFFu),
        static_cast<char>((length >> 24) & 0xFFu),
    };
    writeRaw(std::string_view(field.data(), field.size()));
    writeRaw(bytes);
    return true;
}

std::optional<Text> FetchBlock::readText()
{
    const std::size_t nul = bytes_.find('\0', position_);
    if (nul == std::string::npos) {
        position_ = bytes_.size();
        return std::nullopt;
    }
    Text text = bytes_.substr(position_, nul - position_);
    position_ = nul + 1;
    return text;
}

std::optional<std::string> FetchBlock::readBytes()
{
    const std::size_t left = bytes_.size() - position_;
    if (left < 4) {
        position_ = bytes_.size();
        return std::nullopt;
    }
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(bytes_[position_ + static_cast<std::size_t>(i)]);
    if (length > left - 4) {
        position_ = bytes_.size();
        return std::nullopt;
    }
    std::string value = bytes_.substr(position_ + 4, length);
    position_ += 4 + length;
    return value;
}

void FetchBlock::erase(std::size_t count)
{
    bytes_.erase(position_, std::min(count, bytes_.size() - position_));
}

void FetchBlock::clear() noexcept
{
    bytes_.clear();
    bytes_.shrink_to_fit();
    position_ = 0;
}

FetchBlock FetchBlock::fromBytes(std::string bytes)
{
    FetchBlock block;
    block.bytes_ = std::move(bytes);
    return block;
}

} // namespace tavrin::net
