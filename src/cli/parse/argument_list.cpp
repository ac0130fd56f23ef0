#include "cli/parse/argument_list.hpp"

#include <cstring>

#include "common/utf8.hpp"

namespace korvalith::cli {

std::expected<std::vector<std::string>, std::size_t> argument_list(std::span<char* const> command_line) {
    std::vector<std::string> list;
    list.reserve(command_line.size());
    for (std::size_t i = 0; i < command_line.size(); ++i) {
        const char* element = command_line[i] != nullptr ? command_line[i] : "";
        const std::size_t length = std::strlen(element);
        if (!is_valid_utf8(ByteView(reinterpret_cast<const std::uint8_t*>(element), length))) {
            return std::unexpected(i);
        }
        list.emplace_back(element, length);
    }
    return list;
}

}  // namespace korvalith::cli
