// The arithmetic of a pass: the thread counts it accepts and the progress bar.
#pragma once

namespace tavrin::submit {

// Thread counts outside this range do not start a pass: fewer than one cannot share out the
// rows, and hundreds of thousands of threads would bring the machine down.
inline constexpr int kMinThreads = 1;
inline constexpr int kMaxThreads = 500;

// The progress bar position once `started` of `rows` rows have been started: the quotient and
// the product in double precision, truncated (29 of 100 gives 28).
[[nodiscard]] constexpr int progressPercent(int started, int rows)
{
    if (rows <= 0)
        return 0;
    const double quotient = static_cast<double>(started) / static_cast<double>(rows);
    return static_cast<int>(quotient * 100.0);
}

} // namespace tavrin::submit
