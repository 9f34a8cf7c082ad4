#include "cli/site_option.h"

#include "cli/cli_texts.h"

#include <ostream>

namespace tavrin::cli {

std::string_view siteProblemText(library::SiteAddressProblem problem)
{
    using Problem = library::SiteAddressProblem;
    switch (problem) {
    case Problem::NoHost:
        return texts::kSiteNoHost;
    case Problem::Blank:
        return texts::kSiteBlank;
    case Problem::Scheme:
        return texts::kSiteScheme;
    case Problem::BadCharacter:
        return texts::kSiteBadCharacter;
    case Problem::EmptyLabel:
        return texts::kSiteEmptyLabel;
    case Problem::LongLabel:
        return texts::kSiteLongLabel;
    case Problem::LongName:
        return texts::kSiteLongName;
    case Problem::Hyphen:
        return texts::kSiteHyphen;
    case Problem::BadAceLabel:
        return texts::kSiteBadAceLabel;
    case Problem::BadPort:
        return texts::kSiteBadPort;
    case Problem::BadIpv4:
        return texts::kSiteBadIpv4;
    case Problem::SingleLabel:
        return texts::kSiteSingleLabel;
    }
    return texts::kSiteNoHost;
}

std::optional<library::SiteAddress> readSiteOption(std::string_view option, std::string_view value,
                                                   std::ostream& err)
{
    library::SiteAddressCheck checked = library::checkSiteAddress(value);
    if (!checked.address)
        refuseValue(err, option, value, siteProblemText(checked.problem));
    return std::move(checked.address);
}

std::string printableValue(std::string_view value)
{
    std::string shown(value);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return shown;
}

void refuseValue(std::ostream& err, std::string_view option, std::string_view value, std::string_view reason)
{
    err << texts::kRefusedValue << option << texts::kRefusedValueOpen << printableValue(value)
        << texts::kRefusedValueClose << reason << '\n';
}

} // namespace tavrin::cli
