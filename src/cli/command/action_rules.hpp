// The rules an action table keeps, checked while compiling:
//
//     static_assert(check_action_table<GROUPS, ACTIONS>());
//
// Each rule is a static_assert in a template whose arguments name the action
// ("group action") or the group, so a table that breaks one fails to compile
// with an error that names both the row and the rule:
//
//   In instantiation of 'struct korvalith::cli::action_rules::Action<
//       korvalith::cli::action_rules::RowName<15>{"atbash encrypt"}, true, false, true, true>':
//   error: static assertion failed: the action's group has no row in GROUPS: add one, ...
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <utility>

#include "cli/command/action_declaration.hpp"
#include "cli/command/arguments.hpp"

namespace korvalith::cli {

namespace action_rules {

// The name of a row, as the compiler shows a template argument: {"base32 encode"}.
template <std::size_t Size>
struct RowName {
    char text[Size]{};
};

template <std::size_t Size>
consteval RowName<Size> row_name(std::string_view first, std::string_view second) {
    RowName<Size> name;
    std::size_t length = 0;
    for (const char c : first) name.text[length++] = c;
    if (!second.empty()) name.text[length++] = ' ';
    for (const char c : second) name.text[length++] = c;
    return name;
}

template <RowName Name, bool DeclaresData, bool GroupDeclared, bool DeclaredOnce, bool ArgumentsDistinct>
struct Action {
    static_assert(DeclaresData,
                  "the action does not declare DATA: every action reads its input through <data>, its first argument");
    static_assert(GroupDeclared,
                  "the action's group has no row in GROUPS: add one, in alphabetical order, or correct the group");
    static_assert(DeclaredOnce, "the action has more than one row in ACTIONS: an action's name is unique in its group");
    static_assert(ArgumentsDistinct,
                  "two arguments of the action share an id, a short letter or a long name, or one takes -h or "
                  "--help, which every command has already");
    static constexpr bool KEPT = DeclaresData && GroupDeclared && DeclaredOnce && ArgumentsDistinct;
};

template <RowName Name, bool HasActions, bool DeclaredOnce, bool InOrder>
struct Group {
    static_assert(HasActions, "the group has no action: add its rows to ACTIONS, or remove the group");
    static_assert(DeclaredOnce, "the group has more than one row in GROUPS");
    static_assert(InOrder,
                  "the group stands before the row above it: GROUPS stand in alphabetical order, the order help "
                  "lists them in");
    static constexpr bool KEPT = HasActions && DeclaredOnce && InOrder;
};

constexpr bool declares(const ActionDeclaration& action, std::string_view id) {
    for (const Argument& argument : action.arguments) {
        if (argument.id == id) return true;
    }
    return false;
}

constexpr bool arguments_distinct(const ActionDeclaration& action) {
    for (const Argument* a = action.arguments.begin(); a != action.arguments.end(); ++a) {
        if (a->short_name == 'h' || a->long_name == "help") return false;
        for (const Argument* b = action.arguments.begin(); b != a; ++b) {
            if (a->id == b->id || (a->short_name != '\0' && a->short_name == b->short_name) ||
                (!a->long_name.empty() && a->long_name == b->long_name)) {
                return false;
            }
        }
    }
    return true;
}

constexpr std::size_t groups_named(std::span<const GroupDeclaration> groups, std::string_view name) {
    std::size_t count = 0;
    for (const GroupDeclaration& group : groups) count += group.name == name;
    return count;
}

constexpr std::size_t actions_named(std::span<const ActionDeclaration> actions, std::string_view group,
                                    std::string_view name) {
    std::size_t count = 0;
    for (const ActionDeclaration& action : actions) count += action.group == group && action.name == name;
    return count;
}

constexpr bool has_actions(std::span<const ActionDeclaration> actions, std::string_view group) {
    for (const ActionDeclaration& action : actions) {
        if (action.group == group) return true;
    }
    return false;
}

template <const auto& Groups, const auto& Actions, std::size_t Index>
consteval bool check_action() {
    constexpr const ActionDeclaration& action = Actions[Index];
    constexpr auto name = row_name<action.group.size() + action.name.size() + 2>(action.group, action.name);
    return Action<name, declares(action, DATA.argument.id), groups_named(Groups, action.group) != 0,
                  actions_named(Actions, action.group, action.name) == 1, arguments_distinct(action)>::KEPT;
}

template <const auto& Groups, const auto& Actions, std::size_t Index>
consteval bool check_group() {
    constexpr const GroupDeclaration& group = Groups[Index];
    constexpr auto name = row_name<group.name.size() + 1>(group.name, {});
    return Group<name, has_actions(Actions, group.name), groups_named(Groups, group.name) == 1,
                 Index == 0 || Groups[Index - 1].name <= group.name>::KEPT;
}

template <const auto& Groups, const auto& Actions, std::size_t... GroupIndex, std::size_t... ActionIndex>
consteval bool check_rows(std::index_sequence<GroupIndex...>, std::index_sequence<ActionIndex...>) {
    // Every row is checked, so that one compile reports every broken rule.
    return (check_group<Groups, Actions, GroupIndex>() & ... & true) &
           (check_action<Groups, Actions, ActionIndex>() & ... & true);
}

}  // namespace action_rules

// True when the table keeps every rule; otherwise it does not compile.
template <const auto& Groups, const auto& Actions>
consteval bool check_action_table() {
    return action_rules::check_rows<Groups, Actions>(std::make_index_sequence<std::size(Groups)>(),
                                                     std::make_index_sequence<std::size(Actions)>());
}

}  // namespace korvalith::cli
