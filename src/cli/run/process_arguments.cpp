#include "cli/run/process_arguments.hpp"

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

}  // namespace korvalith::cli
