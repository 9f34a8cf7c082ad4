// The arithmetic of a pass's progress, as the progress bar shows it.
#pragma once

namespace tavrin::submit {

// The progress bar position once `done` of `rows` rows are done: the quotient and the product
// in double precision, truncated (29 of 100 gives 28).
[[nodiscard]] constexpr int progressPercent(int done, int rows)
{
    if (rows <= 0)
        return 0;
    const double quotient = static_cast<double>(done) / static_cast<double>(rows);
    return static_cast<int>(quotient * 100.0);
}

} // namespace tavrin::submit
