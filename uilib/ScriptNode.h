#pragma once

#include <string>
#include <vector>

// The syntax tree of a skin script, before any meaning is given to it.
//
//   key [argument] = value, value, ...
//   kind [argument] [: style] { ...properties and nested blocks... }

struct ScriptValue {
    enum class Type { Number, Color, String, Word };
    Type type = Type::Word;
    std::wstring text;     // the token as written (a string without its quotes, escapes resolved)
    long long number = 0;  // Number
    unsigned color = 0;    // Color, as 0xAARRGGBB
};

struct ScriptProperty {
    std::wstring key;
    std::wstring argument; // e.g. the 5 of "font 5 = ..."; empty when none
    std::vector<ScriptValue> values;
    int line = 0;
};

struct ScriptNode {
    std::wstring kind;     // "window", "button", ...; empty for the file's top level
    std::wstring argument; // the section name or control ID as written
    std::wstring style;    // the style named after ':'; empty when none
    int line = 0;
    std::vector<ScriptProperty> properties;
    std::vector<ScriptNode> children;
};
