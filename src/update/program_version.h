// Program versions as the update notice and the program itself write them ("2.1", "v2.0 beta1",
// "V3.0-rc2"), read into parts that order the way releases follow each other.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tavrin::update {

// A pre-release sorts before the release of the same numbers, and its stages in this order.
enum class ReleaseStage
{
    Alpha,
    Beta,
    ReleaseCandidate,
    Release,
};

struct ProgramVersion
{
    // "2.0.1" gives {2, 0, 1}. Missing trailing parts count as 0: 2.0 and 2.0.0 are one version.
    std::vector<std::uint64_t> numbers;
    ReleaseStage stage = ReleaseStage::Release;
    // "beta2" gives 2; a stage written without a number counts as 0.
    std::uint64_t stageNumber = 0;

    friend std::strong_ordering operator<=>(const ProgramVersion& a, const ProgramVersion& b);
    friend bool operator==(const ProgramVersion& a, const ProgramVersion& b)
    {
        return (a <=> b) == std::strong_ordering::equal;
    }
};

// Reads a version (GBK text; full-width characters count as their ASCII look-alikes, blanks around
// it are ignored):
//   [v|V] NUMBER {"." NUMBER} [SEPARATOR] [alpha|beta|rc [SEPARATOR] [NUMBER]]
// where a SEPARATOR is one blank, "-", "_" or "." and the stage word is in any letter case.
// Nothing for any other text, a trailing word included ("2.1 final" is no version), so that a
// notice that is not understood never offers anything.
[[nodiscard]] std::optional<ProgramVersion> readProgramVersion(std::string_view text);

// True only when both are versions and `newest` comes after `current`: "v2.0 beta1" < "2.0" <
// "2.0.1" < "2.1".
[[nodiscard]] bool isNewerVersion(std::string_view newest, std::string_view current);

} // namespace tavrin::update
