#include "cli/number_option.h"

#include "cli/cli_texts.h"
#include "cli/site_option.h"

#include <charconv>
#include <string>
#include <system_error>

namespace tavrin::cli {

CLI::Validator wholeNumberIn(std::int64_t min, std::int64_t max)
{
    // The range as the message gives it: "from 1 to 500", or "of 1 or more" without a maximum.
    std::string range = max == kNoMaximum ? std::string(texts::kWholeNumberOf) + std::to_string(min) +
                                                std::string(texts::kOrMore)
                                          : std::string(texts::kWholeNumberFrom) + std::to_string(min) +
                                                std::string(texts::kRangeTo) + std::to_string(max);
    auto check = [min, max, range = std::move(range)](std::string& value) -> std::string {
        std::int64_t number = 0;
        const char* end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        if (!value.empty() && error == std::errc() && stop == end && number >= min && number <= max)
            return {};
        return '"' + printableValue(value) + '"' + std::string(texts::kIsNot) + range;
    };
    // No description: the option's help says the range in words.
    return CLI::Validator(check, std::string());
}

} // namespace tavrin::cli
