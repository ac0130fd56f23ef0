#include "cli/process_arguments.hpp"

#include <cstring>

#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

int recorded_count = 0;
char** recorded_vector = nullptr;

// glibc calls the functions of a shared object's initialiser array with the
// process's argument count, argument vector and environment.
void record_process_arguments(int argc, char** argv, char** /*envp*/) {
    recorded_count = argc;
    recorded_vector = argv;
}

[[gnu::section(".init_array"), gnu::used]] void (*record_at_load)(int, char**, char**) = record_process_arguments;

}  // namespace

std::span<char* const> process_arguments() noexcept {
    if (recorded_vector == nullptr || recorded_count <= 0) return {};
    return {recorded_vector, static_cast<std::size_t>(recorded_count)};
}

std::expected<std::vector<std::string>, std::size_t> argument_list(std::span<char* const> vector) {
    std::vector<std::string> list;
    if (vector.empty()) return list;
    list.reserve(vector.size() - 1);
    for (std::size_t i = 0; i < vector.size(); ++i) {
        const char* element = vector[i] != nullptr ? vector[i] : "";
        const std::size_t length = std::strlen(element);
        if (!is_valid_utf8(ByteView(reinterpret_cast<const std::uint8_t*>(element), length))) {
            return std::unexpected(i);
        }
        if (i > 0) list.emplace_back(element, length);
    }
    return list;
}

}  // namespace korvalith::cli
