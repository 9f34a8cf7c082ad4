// FetchBlock and the request and result records read from it.
//
// The input is read twice: as the raw bytes of a block handed over by the network thread, and
// as a list of texts and byte strings to write into a block and read back.
#include "fuzz_check.h"

#include "net/fetch_block.h"
#include "net/fetch_records.h"
#include "text/gbk_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tavrin::net::FetchBlock;
using tavrin::net::FetchRequest;
using tavrin::net::FetchResult;
namespace net = tavrin::net;

void checkRecordsIn(std::string_view bytes)
{
    FetchBlock block = FetchBlock::fromBytes(std::string(bytes));

    // A result read from the block is exactly what the block begins with.
    const std::optional<FetchResult> result = net::readResultRecord(block);
    TAVRIN_FUZZ_CHECK(block.bytes() == bytes && block.position() <= block.size());
    if (result) {
        TAVRIN_FUZZ_CHECK(result->headerText.find('\0') == std::string::npos);
        FetchBlock rewritten;
        net::writeResultRecord(rewritten, *result);
        TAVRIN_FUZZ_CHECK(bytes.substr(0, rewritten.size()) == rewritten.bytes());
        TAVRIN_FUZZ_CHECK(net::readResultRecord(rewritten) == result);
    }

    // A block that holds no request is left as it was; one that does reads back the same once
    // written again.
    const std::optional<FetchRequest> request = net::readRequestRecord(block);
    TAVRIN_FUZZ_CHECK(block.bytes() == bytes && block.position() <= block.size());
    if (!request) {
        TAVRIN_FUZZ_CHECK(block.position() == 0);
    } else {
        FetchBlock rewritten;
        net::writeRequestRecord(rewritten, *request);
        TAVRIN_FUZZ_CHECK(net::readRequestRecord(rewritten) == request);
        TAVRIN_FUZZ_CHECK(!net::readResultRecord(rewritten).has_value());
    }
}

struct Value
{
    bool isText = false;
    std::string bytes;
};

// Reads the values back in order from `block`: those that lie whole in the block come back as
// written, and every read from the first one cut short on gives nothing.
void checkReadsBack(FetchBlock& block, const std::vector<Value>& values, const std::vector<std::size_t>& ends)
{
    block.rewind();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const bool whole = ends[i] <= block.size();
        if (values[i].isText) {
            const std::optional<std::string> read = block.readText();
            TAVRIN_FUZZ_CHECK(read.has_value() == whole);
            if (whole)
                TAVRIN_FUZZ_CHECK(*read == tavrin::text::untilNul(values[i].bytes));
        } else {
            const std::optional<std::string> read = block.readBytes();
            TAVRIN_FUZZ_CHECK(read.has_value() == whole);
            if (whole)
                TAVRIN_FUZZ_CHECK(*read == values[i].bytes);
        }
        TAVRIN_FUZZ_CHECK(block.position() == (whole ? ends[i] : block.size()));
    }
    TAVRIN_FUZZ_CHECK(!block.readText().has_value() && !block.readBytes().has_value());
    TAVRIN_FUZZ_CHECK(block.position() == block.size());
}

void checkWrittenValues(FuzzedDataProvider& data)
{
    std::vector<Value> values;
    std::vector<std::size_t> ends; // where each value ends in the stream
    FetchBlock block;
    const auto count = data.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < count && data.remaining_bytes() > 0; ++i) {
        Value value{data.ConsumeBool(), tavrin::fuzz::takeBytes(data, 300)};
        if (value.isText)
            block.writeText(value.bytes);
        else
            TAVRIN_FUZZ_CHECK(block.writeBytes(value.bytes));
        TAVRIN_FUZZ_CHECK(block.position() == block.size());
        values.push_back(std::move(value));
        ends.push_back(block.size());
    }
    checkReadsBack(block, values, ends);

    // Writing the same first value again over the start changes nothing.
    if (!values.empty()) {
        const std::string before(block.bytes());
        block.rewind();
        if (values.front().isText)
            block.writeText(values.front().bytes);
        else
            TAVRIN_FUZZ_CHECK(block.writeBytes(values.front().bytes));
        TAVRIN_FUZZ_CHECK(block.bytes() == before && block.position() == ends.front());
    }

    // The same stream cut short anywhere.
    const std::string whole(block.bytes());
    const auto cut = data.ConsumeIntegralInRange<std::size_t>(0, whole.size());
    FetchBlock shortened = FetchBlock::fromBytes(whole.substr(0, cut));
    checkReadsBack(shortened, values, ends);

    // Erasing at the position removes bytes there and nothing else.
    const auto eraseFrom = data.ConsumeIntegralInRange<std::size_t>(0, whole.size());
    const auto eraseCount = data.ConsumeIntegral<std::size_t>();
    FetchBlock erased = FetchBlock::fromBytes(whole);
    while (erased.position() < eraseFrom && erased.readText().has_value()) {
    }
    const std::size_t position = erased.position();
    erased.erase(eraseCount);
    std::string expected = whole;
    expected.erase(position, eraseCount);
    TAVRIN_FUZZ_CHECK(erased.bytes() == expected && erased.position() == position);

    erased.clear();
    TAVRIN_FUZZ_CHECK(erased.size() == 0 && erased.position() == 0 && !erased.readText().has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkRecordsIn(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider provider(data, size);
    checkWrittenValues(provider);
    return 0;
}
