#pragma once
// Reading JSON members the way the program's web answers are read: every value as text.

#include <QString>
#include <initializer_list>
#include <optional>

// The value at path (member names from the outside in) as text, whatever its JSON kind: a
// string as it stands, anything else as its JSON text (a number gives its decimal text).
// Nothing when a member on the way is missing, the way leads through a non-object, or the
// value is null. Works for nlohmann::json and nlohmann::ordered_json.
template <typename Json>
std::optional<QString> JsonText(const Json& object, std::initializer_list<const char*> path)
{
    const Json* node = &object;
    for (const char* name : path) {
        if (!node->is_object())
            return std::nullopt;
        const auto member = node->find(name);
        if (member == node->end())
            return std::nullopt;
        node = &*member;
    }
    if (node->is_null())
        return std::nullopt;
    if (node->is_string())
        return QString::fromStdString(node->template get<std::string>());
    return QString::fromStdString(node->dump());
}
