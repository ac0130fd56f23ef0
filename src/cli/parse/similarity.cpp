#include "cli/parse/similarity.hpp"

#include <algorithm>
#include <cstdint>

namespace korvalith::cli {

namespace {

// Splits UTF-8 text into code points. The command line holds valid UTF-8;
// a stray byte would simply count as one unit of its own.
std::vector<std::uint32_t> code_points(std::string_view text) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        length = std::min(length, text.size() - i);
        std::uint32_t point = lead;
        for (std::size_t k = 1; k < length; ++k) point = (point << 8) | static_cast<unsigned char>(text[i + k]);
        points.push_back(point);
        i += length;
    }
    return points;
}

}  // namespace

double jaro_similarity(std::string_view a, std::string_view b) {
    const std::vector<std::uint32_t> left = code_points(a);
    const std::vector<std::uint32_t> right = code_points(b);
    if (left.empty() && right.empty()) return 1.0;
    if (left.empty() || right.empty()) return 0.0;

    const std::size_t longer = std::max(left.size(), right.size());
    const std::size_t window = longer / 2 > 0 ? longer / 2 - 1 : 0;
    std::vector<bool> left_matched(left.size(), false);
    std::vector<bool> right_matched(right.size(), false);
    std::size_t matches = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        const std::size_t from = i > window ? i - window : 0;
        const std::size_t to = std::min(i + window + 1, right.size());
        for (std::size_t j = from; j < to; ++j) {
            if (!right_matched[j] && left[i] == right[j]) {
                left_matched[i] = right_matched[j] = true;
                ++matches;
                break;
            }
        }
    }
    if (matches == 0) return 0.0;

    // Matched code points that stand in a different order, counted in halves.
    std::size_t out_of_order = 0;
    for (std::size_t i = 0, j = 0; i < left.size(); ++i) {
        if (!left_matched[i]) continue;
        while (!right_matched[j]) ++j;
        if (left[i] != right[j]) ++out_of_order;
        ++j;
    }
    const double m = static_cast<double>(matches);
    const double transpositions = static_cast<double>(out_of_order) / 2.0;
    return (m / static_cast<double>(left.size()) + m / static_cast<double>(right.size()) + (m - transpositions) / m) /
           3.0;
}

std::optional<std::string> most_similar(std::string_view typed, const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    double best_score = SUGGESTION_THRESHOLD;
    for (const std::string& candidate : candidates) {
        const double score = jaro_similarity(typed, candidate);
        if (score > best_score) {
            best_score = score;
            best = candidate;
        }
    }
    return best;
}

}  // namespace korvalith::cli
