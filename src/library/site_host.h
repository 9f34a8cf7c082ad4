// The user's site host and the substitution of it into templates and back.
#pragma once

#include "text/gbk_text.h"

namespace tavrin::library {

using text::Text;

// The host of a site address (GBK) as typed into the address box, read leniently: a leading
// "scheme://" (any scheme, any letter case) is skipped, the host ends at the first "/", "?" or
// "#", user information up to an "@" and a port after ":" are dropped, and ASCII letters are
// lowered. A host with Chinese characters that makes a host name (site_address.h) becomes its
// ASCII form ("xn--..."), as the command line gives it; anything else keeps its bytes. Never
// refuses: the box is read on every keystroke. The command line checks with checkSiteAddress.
[[nodiscard]] Text siteHost(std::string_view address);

// The template a line of a template file stands for: the line with every "格式如：" removed.
[[nodiscard]] Text templateOf(std::string_view line);

// A template line made ready to fetch: every "格式如：" removed, then every "{$url}" replaced by
// the host (exact bytes, left to right).
[[nodiscard]] Text expandTemplate(std::string_view line, std::string_view host);

// The reverse of expandTemplate, for saving: every occurrence of the host, matched without
// regard to the case of ASCII letters, becomes "{$url}" again. An empty host changes nothing.
[[nodiscard]] Text collapseHost(std::string_view url, std::string_view host);

} // namespace tavrin::library
