// The vector loops of Base32.
#pragma once

#include "encodings/vector_path.hpp"

namespace korvalith {

// The loops of `path` (none for the scalar path). The caller makes sure the
// CPU supports the path.
CodecKernels base32_kernels(VectorPath path) noexcept;

}  // namespace korvalith
