// The site addresses of the command line (--site of submit, fetch and ping, the lines of a
// --sites file), read by library::checkSiteAddress, and how a refusal is told.
#pragma once

#include "library/site_address.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::cli {

// Why an address is refused, as the messages say it.
[[nodiscard]] std::string_view siteProblemText(library::SiteAddressProblem problem);

// The address `value` of `option`; nothing, with `tavrin-cli: OPTION "VALUE": REASON` on `err`,
// when it is refused.
[[nodiscard]] std::optional<library::SiteAddress> readSiteOption(std::string_view option,
                                                                 std::string_view value, std::ostream& err);

// `value` with its control bytes shown as '?', so that a message echoing it never moves the
// cursor or rings the bell.
[[nodiscard]] std::string printableValue(std::string_view value);

// Says on `err` that `value` of `option` is refused: `tavrin-cli: OPTION "VALUE": REASON`, the
// value printable.
void refuseValue(std::ostream& err, std::string_view option, std::string_view value, std::string_view reason);

} // namespace tavrin::cli
