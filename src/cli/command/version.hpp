// The program's version. The build defines KORVALITH_VERSION from the version
// in the project's top-level CMakeLists.txt, the one place it is kept, so the
// command line and the Python package always report the same version.
#pragma once

#include <string_view>

#ifndef KORVALITH_VERSION
#error "KORVALITH_VERSION is defined by the build from project() in CMakeLists.txt"
#endif

namespace korvalith::cli {

inline constexpr std::string_view VERSION = KORVALITH_VERSION;

}  // namespace korvalith::cli
