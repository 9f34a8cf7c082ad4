// FetchBlock: the in-memory byte stream through which a request and its result are handed
// between the caller of a fetch and the network thread.
//
// Values are written and read in order at one read/write position:
// - a text is stored as its bytes followed by one NUL byte (a text never holds a NUL; writing
//   one stops at its first NUL);
// - a byte string is stored as a 32-bit little-endian length followed by that many bytes.
// A read that runs past the end of the stream gives no value (std::nullopt) and leaves the
// position at the end, so a record cut short never reads as a complete one.
#pragma once

#include "text/gbk_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::net {

using text::Text;

class FetchBlock
{
public:
    // Byte strings longer than this cannot be stored: their length would not fit the field.
    static constexpr std::size_t kMaxBytesLength = UINT32_MAX;

    // Writes at the position, overwriting what is there and growing the stream as needed.
    void writeText(std::string_view text);
    // Returns false (and writes nothing) when `bytes` is longer than kMaxBytesLength.
    [[nodiscard]] bool writeBytes(std::string_view bytes);

    [[nodiscard]] std::optional<Text> readText();
    [[nodiscard]] std::optional<std::string> readBytes();

    void rewind() noexcept { position_ = 0; }
    // Deletes up to `count` bytes at the position; what follows moves up.
    void erase(std::size_t count);
    // Empties the stream.
    void clear() noexcept;

    [[nodiscard]] std::size_t size() const noexcept { return bytes_.size(); }
    [[nodiscard]] std::size_t position() const noexcept { return position_; }
    // The raw stream, for tests of the layout.
    [[nodiscard]] std::string_view bytes() const noexcept { return bytes_; }
    // A stream holding exactly `bytes`, position at the start.
    [[nodiscard]] static FetchBlock fromBytes(std::string bytes);

private:
    void writeRaw(std::string_view raw);

    std::string bytes_;
    std::size_t position_ = 0;
};

} // namespace tavrin::net
