// Addresses on this machine for windows under test.
#pragma once

namespace tavrin::testing_support {

// A port of 127.0.0.1 where nothing listens. A window built by a test reads its update notice
// from here: the start-up check fails at once and never leaves the machine.
inline constexpr char kNoUpdateNoticeUrl[] = "http://127.0.0.1:1/update.txt";

} // namespace tavrin::testing_support
