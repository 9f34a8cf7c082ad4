// The user's site host and the substitution of it into templates and back.
#pragma once

#include "text/gbk_text.h"

namespace tavrin::library {

using text::Text;

// The host of a site address as typed into the address box: a leading "scheme://" (any
// scheme, any letter case) is skipped, the host ends at the first "/", "?" or "#", a port
// after ":" is dropped, and ASCII letters are lowered.
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
