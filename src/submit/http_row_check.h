// The real check of one query URL: a timed GET, judged by the response rules.
#pragma once

#include "net/timed_fetch.h"
#include "submit/row_check.h"

namespace tavrin::submit {

// A row check that requests the URL with the submission's header set, waits at most
// `timeLimitSeconds` (0: the default of 90) or until stopped, and classifies what came back.
// `proxy` is an HTTP proxy as host:port, empty for a direct connection.
[[nodiscard]] RowCheck httpRowCheck(int timeLimitSeconds = net::kDefaultTimeLimitSeconds,
                                    text::Text proxy = {});

// The status code of a raw header text's status line ("HTTP/1.1 404 Not Found" gives 404); 0
// when there is none.
[[nodiscard]] int statusCodeOf(std::string_view headerText);

} // namespace tavrin::submit
