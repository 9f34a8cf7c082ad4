// Numbers read from text, the way users type them into boxes: full-width digits and signs are
// accepted, leading blanks are skipped, and the longest leading decimal number is taken.
#pragma once

#include <string_view>

namespace tavrin::text {

// Floating comparisons across the program use this tolerance.
inline constexpr double kNumberTolerance = 1e-7;

// Full-width characters (GBK 0xA3 0xA1..0xFE, full-width space 0xA1 0xA1) folded to ASCII, then
// leading blanks (space, tab, CR, LF) skipped and the longest leading decimal number read: an
// optional sign, digits, an optional fraction, an optional exponent ("e" or "E", sign, digits)
// that is used only when it has digits. A text that does not begin with a number gives 0.
[[nodiscard]] double numberFromText(std::string_view text);

// The same number truncated toward zero, clamped to the range of int.
[[nodiscard]] int intFromText(std::string_view text);

[[nodiscard]] bool nearlyEqual(double a, double b) noexcept;
// a > b by more than the tolerance.
[[nodiscard]] bool clearlyGreater(double a, double b) noexcept;
// a < b by more than the tolerance.
[[nodiscard]] bool clearlyLess(double a, double b) noexcept;

} // namespace tavrin::text
