#include "cli/command/actions.hpp"

#include "ciphers/caesar.hpp"
#include "ciphers/rot13.hpp"
#include "cli/command/action_rules.hpp"
#include "cli/command/arguments.hpp"
#include "cli/stream/bytewise_core.hpp"
#include "cli/stream/chunked_core.hpp"

namespace korvalith::cli {

namespace {

constexpr std::string_view DATA_ENC =
    "Data to encode. Can be a file name (default behaviour) or a raw string (pass in -s).";
constexpr std::string_view DATA_DEC =
    "Data to decode. Can be a file name (default behaviour) or a raw string (pass in -s).";
constexpr std::string_view OUT_ENCODED = "Sets the file output of the encoded data. Default is stdout.";
constexpr std::string_view OUT_DECODED = "Sets the file output of the decoded data. Default is stdout.";
constexpr std::string_view OUT_ENCRYPTED = "Sets the file output of the encrypted data. Default is stdout.";
constexpr std::string_view KEY_HELP =
    "Key to use when decrypting data. Should be the same as the one used to encrypt the data.";

constexpr GroupDeclaration GROUPS[] = {
    {"base32", "Base32 encoding and decoding."},
    {"base64", "Base64 encoding and decoding."},
    {"caesar",
     "Caesar encryption and decryption. Data must be utf8 and all non-alphabetical characters are ignored."},
    {"rot13", "Rot13 encryption and decryption. Data must be utf8 and all non-alphabetical characters are ignored."},
    {"vigenere",
     "Vigenere encryption and decryption. Data must be utf8 and all non-alphabetical characters are ignored."},
};

// Every action declares data, its second positional if any, skip-non-alpha
// (Vigenère), string and output, in that order. A decrypting action's output
// help speaks of decoded data.
constexpr ActionDeclaration ACTIONS[] = {
    {.group = "base32", .name = "encode",
     .about = "Encode data into base32. Data can be a binary file, but then outputting to stdout is not allowed.",
     .arguments = {DATA(DATA_ENC), STRING(), OUTPUT(OUT_ENCODED)},
     .input = InputKind::bytes, .result = ResultKind::encoded,
     .core = [](const Matches&) { return base32_encoder_core(); }},
    {.group = "base32", .name = "decode",
     .about = "Decode base32. Output data can be binary, but then output must be to a file.",
     .arguments = {DATA(DATA_DEC), STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::encoded, .result = ResultKind::binary,
     .core = [](const Matches&) { return base32_decoder_core(); },
     .core_error_with_string = CoreErrorReport::invalid_value},
    {.group = "base64", .name = "encode",
     .about = "Encode data into base64. Data can be a binary file, but then outputting to stdout is not allowed.",
     .arguments = {DATA(DATA_ENC), STRING(), OUTPUT(OUT_ENCODED)},
     .input = InputKind::bytes, .result = ResultKind::encoded,
     .core = [](const Matches&) { return base64_encoder_core(); }},
    {.group = "base64", .name = "decode",
     .about = "Decode base64. Output data can be binary, but then output must be to a file.",
     .arguments = {DATA(DATA_DEC), STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::encoded, .result = ResultKind::binary,
     .core = [](const Matches&) { return base64_decoder_core(); }},
    {.group = "caesar", .name = "encrypt",
     .about = "Encrypt a string using Caesar shift.",
     .arguments = {DATA(DATA_ENC), SHIFT("Shift to use when encrypting data."), STRING(), OUTPUT(OUT_ENCRYPTED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core = [](const Matches& given) { return shift_core(caesar_row(given.required(SHIFT), false)); }},
    {.group = "caesar", .name = "decrypt",
     .about = "Decrypt data using Caesar shift.",
     .arguments = {DATA(DATA_DEC),
                   SHIFT("Shift to use when decrypting data. Should be the same as the one used to encrypt the data."),
                   STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core = [](const Matches& given) { return shift_core(caesar_row(given.required(SHIFT), true)); }},
    {.group = "rot13", .name = "encrypt",
     .about = "\"Encrypt\" a string using rot13. Same as decrypt and rotate.",
     .arguments = {DATA(DATA_ENC), STRING(), OUTPUT(OUT_ENCRYPTED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core = [](const Matches&) { return bytewise_core(rot13_into); }},
    {.group = "rot13", .name = "decrypt",
     .about = "\"Decrypt\" data using rot13. Same as encrypt and rotate.",
     .arguments = {DATA(DATA_DEC), STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core = [](const Matches&) { return bytewise_core(rot13_into); }},
    {.group = "rot13", .name = "rotate",
     .about = "Rotate data using rot13. Same as encrypt and decrypt.",
     .arguments = {DATA(DATA_DEC), STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core = [](const Matches&) { return bytewise_core(rot13_into); }},
    {.group = "vigenere", .name = "encrypt",
     .about = "Encrypt a string using Vigenere cipher.",
     .arguments = {DATA(DATA_ENC), KEY(KEY_HELP), SKIP_NON_ALPHA(), STRING(), OUTPUT(OUT_ENCRYPTED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core =
         [](const Matches& given) {
             return vigenere_core(as_byte_view(given.required(KEY)), false, given.flag(SKIP_NON_ALPHA));
         },
     .core_error_with_string = CoreErrorReport::invalid_value, .core_error_from_file = CoreErrorReport::invalid_value},
    {.group = "vigenere", .name = "decrypt",
     .about = "Decrypt data using Vigenere cipher.",
     .arguments = {DATA(DATA_DEC), KEY(KEY_HELP), SKIP_NON_ALPHA(), STRING(), OUTPUT(OUT_DECODED)},
     .input = InputKind::text, .result = ResultKind::text,
     .core =
         [](const Matches& given) {
             return vigenere_core(as_byte_view(given.required(KEY)), true, given.flag(SKIP_NON_ALPHA));
         },
     .core_error_with_string = CoreErrorReport::invalid_value, .core_error_from_file = CoreErrorReport::invalid_value},
};

// What the tree and the dispatcher need of the table (cli/command/action_rules.hpp).
static_assert(check_action_table<GROUPS, ACTIONS>(), "the action table breaks the rule named above");

}  // namespace

std::span<const GroupDeclaration> groups() { return GROUPS; }

std::span<const ActionDeclaration> actions() { return ACTIONS; }

const ActionDeclaration* find_action(std::string_view group, std::string_view name) {
    for (const ActionDeclaration& action : ACTIONS) {
        if (action.group == group && action.name == name) return &action;
    }
    return nullptr;
}

}  // namespace korvalith::cli
