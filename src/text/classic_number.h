// Reading a number the way C writes it, whatever the user's locale says.
#pragma once

namespace tavrin::text {

// The value of `number`, a NUL-terminated decimal number with '.' as its point (as
// numberFromText has checked it to be), read in the fixed "C" locale: the process locale
// follows the user's environment, and many locales use a decimal comma. Out-of-range values
// come back as +-HUGE_VAL or a value near zero. Thread-safe.
[[nodiscard]] double parseClassicNumber(const char* number);

} // namespace tavrin::text
