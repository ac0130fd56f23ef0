// Suggestions for mistyped command names and flags, ranked by the Jaro
// similarity of the typed text and each candidate.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalith::cli {

// Jaro similarity of two UTF-8 texts, compared by code point: 1 for equal
// texts, 0 when nothing matches.
double jaro_similarity(std::string_view a, std::string_view b);

// Candidates must be at least this similar to be suggested.
inline constexpr double SUGGESTION_THRESHOLD = 0.75;

// The candidate most similar to `typed`, if any passes the threshold; the
// earlier candidate wins a tie.
std::optional<std::string> most_similar(std::string_view typed, const std::vector<std::string>& candidates);

}  // namespace korvalith::cli
