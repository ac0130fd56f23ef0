#include "cli/parse/decimal.hpp"

namespace korvalith::cli {

std::expected<std::int64_t, std::string_view> parse_decimal(std::string_view text) {
    if (text.empty()) return std::unexpected("cannot parse integer from empty string");
    constexpr std::string_view INVALID_DIGIT = "invalid digit found in string";
    std::size_t i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') {
        if (text.size() == 1) return std::unexpected(INVALID_DIGIT);
        i = 1;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::unexpected(INVALID_DIGIT);
        const int digit = c - '0';
        const bool overflow = __builtin_mul_overflow(value, 10, &value) ||
                              (negative ? __builtin_sub_overflow(value, digit, &value)
                                        : __builtin_add_overflow(value, digit, &value));
        if (overflow) {
            return std::unexpected(negative ? "number too small to fit in target type"
                                            : "number too large to fit in target type");
        }
    }
    return value;
}

}  // namespace korvalith::cli
