// Short ways for tests to say which row a check is about and under which rules.
#pragma once

#include "submit/http_row_check.h"

#include <string>

namespace tavrin::testing_support {

// A row of `url`, expanded with `siteHost` (none when empty), without a template.
inline submit::RowRequest rowFor(std::string url, std::string siteHost = {})
{
    submit::RowRequest row;
    row.url = std::move(url);
    row.siteHost = std::move(siteHost);
    return row;
}

struct StricterRules
{
    bool requireMention = false;
    bool requireLink = false;
    bool baseline = false;
};

// The check's options with a time limit of `seconds` and the stricter rules given.
inline submit::CheckOptions rulesWithin(int seconds, StricterRules rules = {})
{
    submit::CheckOptions options;
    options.timeLimitSeconds = seconds;
    options.requireMention = rules.requireMention;
    options.requireLink = rules.requireLink;
    options.baseline = rules.baseline;
    return options;
}

} // namespace tavrin::testing_support
