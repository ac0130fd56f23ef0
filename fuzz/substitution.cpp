// Substitution: applying a byte map agrees with a plain model (mapped bytes
// replaced once, the others copied), on every vector path of the table
// translation this CPU has; a permutation of a set of bytes is undone by its
// inverse map.
#include <array>
#include <cstdint>
#include <vector>

#include "ciphers/substitution.hpp"
#include "ciphers/translate.hpp"
#include "common/byte_map.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);

    // Arbitrary entries, later ones replacing earlier ones under equal keys.
    ByteMap map;
    std::array<int, 256> model;
    model.fill(-1);
    const std::size_t entries = input.byte();
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t key = input.byte();
        const std::uint8_t value = input.byte();
        map.insert(key, value);
        model[key] = value;
    }
    // A permutation of the keys' set: sorted keys sent to a rotation of
    // themselves.
    ByteMap permutation;
    std::array<std::uint8_t, 256> members{};
    std::size_t count = 0;
    for (unsigned b = 0; b < 256; ++b) {
        if (model[b] >= 0) members[count++] = static_cast<std::uint8_t>(b);
    }
    const std::size_t rotation = count == 0 ? 0 : input.byte() % count;
    for (std::size_t i = 0; i < count; ++i) permutation.insert(members[i], members[(i + rotation) % count]);

    const ByteView text = input.rest();
    auto mapped = map_bytes(text, map);
    check(mapped.has_value() && mapped->size() == text.size(), "mapping failed or changed the length");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int expected = model[text[i]] >= 0 ? model[text[i]] : text[i];
        check(mapped->data()[i] == expected, "mapped byte differs from the model");
    }

    for (VectorPath path : VECTOR_PATHS) {
        if (!vector_path_supported(path)) continue;
        std::vector<std::uint8_t> out(text.size());
        translate_into(map.table(), text, out.data(), path);
        check(same_bytes(ByteView(out.data(), out.size()), mapped->view()), "a vector path differs from the model");
    }

    auto permuted = map_bytes(text, permutation);
    check(permuted.has_value(), "mapping failed");
    auto restored = map_bytes(permuted->view(), permutation.inverted());
    check(restored.has_value() && same_bytes(restored->view(), text), "the inverse permutation does not restore");
    return 0;
}
