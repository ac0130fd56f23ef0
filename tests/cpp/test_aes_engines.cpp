// The AES engines (table reference, bitsliced, AES-NI, VAES on 256- and
// 512-bit registers, ARMv8 AES), each called directly and held to the
// reference block routines: the published examples, the key schedules,
// random keys and data of every block count around the group and
// interleave widths, and the ECB driver's results and failures; the
// bitsliced S-box circuits on every byte; the choice of engine. An engine
// the CPU (or the build) lacks is skipped.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/ecb.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/engine.hpp"
#include "ciphers/aes/bitsliced/bitsliced.hpp"
#include "ciphers/aes/hardware.hpp"

namespace korvalith::aes {

// Names the engine in the messages of failing tests.
void PrintTo(Engine engine, std::ostream* out) { *out << engine_name(engine); }

}  // namespace korvalith::aes

namespace {

using namespace korvalith;
using namespace korvalith::aes;
using Bytes = std::vector<std::uint8_t>;

Bytes from_hex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

Bytes random_bytes(std::mt19937& random, std::size_t length) {
    Bytes bytes(length);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes contents(const ByteBuffer& buffer) { return {buffer.view().begin(), buffer.view().end()}; }

// The reference: the table routine, one block at a time with the raw key.
Bytes reference_blocks(const Bytes& key, const Bytes& data, bool decrypt) {
    Bytes out;
    for (std::size_t offset = 0; offset < data.size(); offset += 16) {
        const ByteView block(data.data() + offset, 16);
        auto result = decrypt ? decrypt_block(block, key) : encrypt_block(block, key);
        EXPECT_TRUE(result.has_value());
        out.insert(out.end(), result->begin(), result->end());
    }
    return out;
}

Bytes engine_blocks(Engine engine, const Bytes& key, const Bytes& data, bool decrypt) {
    BlockCipher cipher;
    EXPECT_TRUE(cipher.set_key(engine, key, decrypt).has_value());
    Bytes out(data.size());
    if (decrypt) {
        cipher.decrypt(data.data(), out.data(), data.size() / 16);
    } else {
        cipher.encrypt(data.data(), out.data(), data.size() / 16);
    }
    return out;
}

class AesEngine : public testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!engine_supported(GetParam())) {
            GTEST_SKIP() << "the " << engine_name(GetParam())
                         << " engine is not available on this CPU or in this build";
        }
    }
    Engine engine() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Engines, AesEngine, testing::ValuesIn(ENGINES),
                         [](const testing::TestParamInfo<Engine>& engine_info) {
                             std::string name(engine_name(engine_info.param));
                             std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
                             return name;
                         });

TEST_P(AesEngine, PublishedExamples) {
    struct Example {
        Bytes key;
        Bytes plaintext;
        Bytes ciphertext;
    };
    const Bytes plaintext = from_hex("00112233445566778899aabbccddeeff");
    const std::vector<Example> examples = {
        {from_hex("000102030405060708090a0b0c0d0e0f"), plaintext, from_hex("69c4e0d86a7b0430d8cdb78070b4c55a")},
        {from_hex("000102030405060708090a0b0c0d0e0f1011121314151617"), plaintext,
         from_hex("dda97ca4864cdfe06eaf70a0ec0d7191")},
        {from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"), plaintext,
         from_hex("8ea2b7ca516745bfeafc49904b496089")},
        {from_hex("2b7e151628aed2a6abf7158809cf4f3c"), from_hex("3243f6a8885a308d313198a2e0370734"),
         from_hex("3925841d02dc09fbdc118597196a0b32")},
    };
    for (const Example& example : examples) {
        SCOPED_TRACE(example.key.size());
        EXPECT_EQ(engine_blocks(engine(), example.key, example.plaintext, false), example.ciphertext);
        EXPECT_EQ(engine_blocks(engine(), example.key, example.ciphertext, true), example.plaintext);
    }
}

// Every block count up to three times the widest group (32 blocks), so each
// width leaves every possible tail, and some longer runs; in place as well.
TEST_P(AesEngine, BlocksMatchTheReferenceRoutines) {
    std::mt19937 random(2025);
    for (std::size_t key_length : {16, 24, 32}) {
        const Bytes key = random_bytes(random, key_length);
        for (std::size_t blocks = 0; blocks <= 120; blocks += blocks < 96 ? 1 : 12) {
            SCOPED_TRACE(testing::Message() << key_length << "-byte key, " << blocks << " blocks");
            const Bytes data = random_bytes(random, 16 * blocks);
            const Bytes encrypted = engine_blocks(engine(), key, data, false);
            ASSERT_EQ(encrypted, reference_blocks(key, data, false));
            ASSERT_EQ(engine_blocks(engine(), key, encrypted, true), data);
            ASSERT_EQ(engine_blocks(engine(), key, data, true), reference_blocks(key, data, true));

            BlockCipher cipher;
            ASSERT_TRUE(cipher.set_key(engine(), key, true).has_value());
            Bytes in_place = data;
            cipher.encrypt(in_place.data(), in_place.data(), blocks);
            EXPECT_EQ(in_place, encrypted);
            cipher.decrypt(in_place.data(), in_place.data(), blocks);
            EXPECT_EQ(in_place, data);
        }
    }
}

TEST_P(AesEngine, KeyLengthIsChecked) {
    for (std::size_t length : {0, 15, 17, 20, 33}) {
        BlockCipher cipher;
        auto keyed = cipher.set_key(engine(), Bytes(length, 1), false);
        ASSERT_FALSE(keyed.has_value());
        EXPECT_EQ(keyed.error().message, "Invalid key length: " + std::to_string(length));
    }
}

// The ECB driver with this engine against the table reference: every length
// up to 20 blocks in both schemes, round trips, and decryption of random
// ciphertext, where the unpadding often fails.
TEST_P(AesEngine, EcbMatchesTheTableReference) {
    std::mt19937 random(7816);
    for (std::size_t key_length : {16, 24, 32}) {
        const Bytes key = random_bytes(random, key_length);
        for (const char* mode : {"iso", "pkcs"}) {
            for (std::size_t length = 0; length <= 320; ++length) {
                SCOPED_TRACE(testing::Message() << key_length << "-byte key, " << mode << ", length " << length);
                const Bytes text = random_bytes(random, length);
                auto encrypted = encrypt_ecb(text, key, mode, engine());
                auto expected = encrypt_ecb(text, key, mode, Engine::TableReference);
                ASSERT_TRUE(encrypted.has_value() && expected.has_value());
                ASSERT_EQ(contents(*encrypted), contents(*expected));
                auto decrypted = decrypt_ecb(encrypted->view(), key, mode, engine());
                ASSERT_TRUE(decrypted.has_value());
                ASSERT_EQ(contents(*decrypted), text);

                const Bytes foreign = random_bytes(random, 16 * (length % 40 + 1));
                auto ours = decrypt_ecb(foreign, key, mode, engine());
                auto reference = decrypt_ecb(foreign, key, mode, Engine::TableReference);
                ASSERT_EQ(ours.has_value(), reference.has_value());
                if (ours) {
                    EXPECT_EQ(contents(*ours), contents(*reference));
                } else {
                    EXPECT_EQ(ours.error().message, reference.error().message);
                }
            }
        }
    }
}

TEST_P(AesEngine, EcbFailuresInOrder) {
    const Bytes key(16, 9);
    EXPECT_EQ(encrypt_ecb(Bytes(3), Bytes(5), "Iso", engine()).error().message,
              "Not a valid padding mode: Iso. Acceptable padding mode are: iso, pkcs.");
    EXPECT_EQ(encrypt_ecb(Bytes(), Bytes(5), "iso", engine()).error().message, "Invalid key length: 5");
    EXPECT_EQ(decrypt_ecb(Bytes(), Bytes(5), "nonsense", engine()).error().message, "Invalid ciphertext length: 0");
    EXPECT_EQ(decrypt_ecb(Bytes(20), Bytes(5), "nonsense", engine()).error().message, "Invalid key length: 5");
    EXPECT_EQ(decrypt_ecb(Bytes(20), key, "nonsense", engine()).error().message,
              "Amount of bytes in block is not correct: 4");
    EXPECT_EQ(decrypt_ecb(Bytes(32), key, "nonsense", engine()).error().message,
              "Not a valid padding mode: nonsense. Acceptable padding mode are: iso, pkcs.");
}

// Ciphertext whose plaintext is `plain` (whole blocks, no padding added).
Bytes ciphertext_of(const Bytes& key, const Bytes& plain) { return reference_blocks(key, plain, false); }

// Unpadding that reaches before the last block: PKCS#7 counts up to 255, and
// ISO/IEC looks back for its marker over any number of zero blocks.
TEST_P(AesEngine, UnpaddingBeyondTheLastBlock) {
    const Bytes key = from_hex("000102030405060708090a0b0c0d0e0f");
    Bytes plain(16 * 20, 0x41);
    plain.back() = 0xFF;
    auto shortened = decrypt_ecb(ciphertext_of(key, plain), key, "pkcs", engine());
    ASSERT_TRUE(shortened.has_value());
    EXPECT_EQ(contents(*shortened), Bytes(plain.begin(), plain.end() - 255));

    for (std::size_t zero_blocks : {1, 2, 15, 16, 17, 40}) {
        SCOPED_TRACE(zero_blocks);
        Bytes marked(16 * zero_blocks, 0x00);
        const Bytes body = {'a', 'b', 'c', 0x80, 0x00, 'd'};
        marked.insert(marked.begin(), body.begin(), body.end());
        marked.resize(16 * (zero_blocks + 1), 0x00);
        auto cut = decrypt_ecb(ciphertext_of(key, marked), key, "iso", engine());
        ASSERT_TRUE(cut.has_value());
        EXPECT_EQ(contents(*cut), Bytes(body.begin(), body.begin() + 3));

        auto unmarked = decrypt_ecb(ciphertext_of(key, Bytes(16 * zero_blocks, 0x00)), key, "iso", engine());
        ASSERT_FALSE(unmarked.has_value());
        EXPECT_EQ(unmarked.error().message, "Unexpected end before finding 0x80");
    }
}

// The example keys of every size from the standard's key expansion
// examples, and random keys.
std::vector<Bytes> schedule_keys() {
    std::mt19937 random(197);
    std::vector<Bytes> keys = {from_hex("2b7e151628aed2a6abf7158809cf4f3c"),
                               from_hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b"),
                               from_hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4")};
    for (std::size_t length : {16, 24, 32}) {
        for (int trial = 0; trial < 20; ++trial) keys.push_back(random_bytes(random, length));
    }
    return keys;
}

// The schedule of the AES instructions (x86 or aarch64) holds exactly the
// round keys of the reference expansion, and the decryption schedule those
// of the equivalent inverse cipher.
TEST(AesHardwareSchedule, EqualsTheReferenceSchedule) {
    if (!engine_supported(Engine::AesNi) && !engine_supported(Engine::ArmAes)) {
        GTEST_SKIP() << "the CPU or the build lacks the AES instructions";
    }
#if defined(__x86_64__) || defined(__i386__) || KORVALITH_AARCH64
    for (const Bytes& key : schedule_keys()) {
        auto reference = expand_key(key);
        ASSERT_TRUE(reference.has_value());
        hardware::Schedule schedule;
        hardware::expand_key(key, schedule);
        hardware::prepare_decryption(schedule);
        ASSERT_EQ(schedule.rounds, reference->rounds);
        for (std::size_t round = 0; round <= schedule.rounds; ++round) {
            EXPECT_EQ(schedule.encryption[round], reference->round_keys[round].bytes)
                << key.size() << "-byte key, round " << round;
        }
        EXPECT_EQ(schedule.decryption[0], reference->round_keys[schedule.rounds].bytes);
        EXPECT_EQ(schedule.decryption[schedule.rounds], reference->round_keys[0].bytes);
    }
#endif
}

// The bitsliced schedule holds the reference round keys, laid out as the
// state of a group whose blocks are all that round key.
TEST(AesBitslicedSchedule, EqualsTheReferenceSchedule) {
    for (const Bytes& key : schedule_keys()) {
        auto reference = expand_key(key);
        ASSERT_TRUE(reference.has_value());
        bitsliced::Schedule schedule;
        bitsliced::expand_key(key, schedule);
        ASSERT_EQ(schedule.rounds, reference->rounds);
        for (std::size_t round = 0; round <= schedule.rounds; ++round) {
            Bytes group(bitsliced::GROUP_BYTES);
            bitsliced::from_planes(schedule.round_keys[round], group.data());
            for (std::size_t b = 0; b < bitsliced::BLOCKS; ++b) {
                EXPECT_EQ(Bytes(group.begin() + 16 * b, group.begin() + 16 * (b + 1)),
                          Bytes(reference->round_keys[round].bytes.begin(), reference->round_keys[round].bytes.end()))
                    << key.size() << "-byte key, round " << round << ", block " << b;
            }
        }
    }
}

// The choice on CPUs with given feature bits: the widest AES instructions
// of this build's architecture that the bits allow, the bitsliced engine
// without them, never the table reference.
TEST(AesEngineSelection, FollowsTheFeatureBits) {
    EXPECT_EQ(fastest_engine(), fastest_engine_for(cpu::features()));
    EXPECT_EQ(fastest_engine_for(cpu::Features{}), Engine::Bitsliced);
    const cpu::Features all{true, true, true, true, true, true, true, true, true, true, true, true};
    if (!engine_supported(Engine::AesNi, all) && !engine_supported(Engine::ArmAes, all)) {
        GTEST_SKIP() << "this build leaves the AES instructions out";
    }
    cpu::Features features;
#if defined(__x86_64__) || defined(__i386__)
    features.aes = true;
    EXPECT_EQ(fastest_engine_for(features), Engine::AesNi);
    features.vaes = true;  // no AVX2: VAES is of no use
    EXPECT_EQ(fastest_engine_for(features), Engine::AesNi);
    features.avx2 = true;
    EXPECT_EQ(fastest_engine_for(features), Engine::Vaes);
    features.avx512f = true;
    EXPECT_EQ(fastest_engine_for(features), Engine::Vaes512);
    features.aes = false;  // VAES without the AES-NI bit is not trusted
    EXPECT_EQ(fastest_engine_for(features), Engine::Bitsliced);
#elif KORVALITH_AARCH64
    features.asimd = true;
    EXPECT_EQ(fastest_engine_for(features), Engine::Bitsliced);
    features.aes = true;
    EXPECT_EQ(fastest_engine_for(features), Engine::ArmAes);
    features.vaes = features.avx2 = features.avx512f = true;  // bits of another architecture change nothing
    EXPECT_EQ(fastest_engine_for(features), Engine::ArmAes);
#endif
}

// Each bit of a group lands where the round steps expect it: bit i of byte
// 4c + r of block b is bit b + BLOCKS·c + 4·BLOCKS·r of plane i, and nothing
// else is set; and it comes back.
TEST(AesBitslicedLayout, PlacesEveryBitAtItsPosition) {
    for (std::size_t b = 0; b < bitsliced::BLOCKS; ++b) {
        for (std::size_t byte = 0; byte < 16; ++byte) {
            for (unsigned bit = 0; bit < 8; ++bit) {
                Bytes group(bitsliced::GROUP_BYTES);
                group[16 * b + byte] = static_cast<std::uint8_t>(1U << bit);
                const bitsliced::State planes = bitsliced::to_planes(group.data());
                bitsliced::State expected{};
                expected[bit] = bitsliced::Word{1} << (b + bitsliced::BLOCKS * (byte / 4 + 4 * (byte % 4)));
                EXPECT_EQ(planes, expected) << "block " << b << ", byte " << byte << ", bit " << bit;
                Bytes back(bitsliced::GROUP_BYTES);
                bitsliced::from_planes(planes, back.data());
                EXPECT_EQ(back, group);
            }
        }
    }
}

// The S-box circuits on all 256 bytes, a word's width at a time, and
// SubWord, against the tables.
TEST(AesBitslicedCircuit, SubstitutesEveryByteAsTheTables) {
    for (unsigned first = 0; first < 256; first += bitsliced::WORD_BITS) {
        bitsliced::State forward{};
        for (unsigned position = 0; position < bitsliced::WORD_BITS; ++position) {
            for (unsigned bit = 0; bit < 8; ++bit) {
                forward[bit] |= bitsliced::Word{((first + position) >> bit) & 1U} << position;
            }
        }
        bitsliced::State inverse = forward;
        bitsliced::sub_bytes(forward);
        bitsliced::inv_sub_bytes(inverse);
        for (unsigned position = 0; position < bitsliced::WORD_BITS; ++position) {
            unsigned substituted = 0;
            unsigned restored = 0;
            for (unsigned bit = 0; bit < 8; ++bit) {
                substituted |= static_cast<unsigned>((forward[bit] >> position) & 1U) << bit;
                restored |= static_cast<unsigned>((inverse[bit] >> position) & 1U) << bit;
            }
            EXPECT_EQ(substituted, SBOX[first + position]) << "byte " << first + position;
            EXPECT_EQ(restored, INV_SBOX[first + position]) << "byte " << first + position;
        }
    }
    for (std::uint32_t word : {0x00000000U, 0x01020304U, 0xFFFEFDFCU, 0x53CA8E7BU}) {
        std::uint32_t expected = 0;
        for (unsigned shift = 0; shift < 32; shift += 8) {
            expected |= std::uint32_t{SBOX[(word >> shift) & 0xFF]} << shift;
        }
        EXPECT_EQ(bitsliced::sub_word(word), expected) << std::hex << word;
    }
}

}  // namespace
