#include "cli/command/style_set.hpp"

namespace korvalith::cli {

Style Styles::for_role(Role role) const {
    switch (role) {
        case Role::plain: return {};
        case Role::header: return header;
        case Role::error: return error;
        case Role::usage: return usage;
        case Role::literal: return literal;
        case Role::placeholder: return placeholder;
        case Role::valid: return valid;
        case Role::invalid: return invalid;
        case Role::context: return context;
        case Role::context_value: return context_value.value_or(context);
    }
    return {};
}

}  // namespace korvalith::cli
