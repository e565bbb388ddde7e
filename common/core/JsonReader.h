#pragma once

// A strict JSON reader for the files our programs write (the series result,
// the suggestion's JSON): the whole grammar of RFC 8259, nothing beyond it
// (no comments, no trailing commas, no NaN). Standard library only; the
// writer's half is JsonText.h.

#include <string>
#include <string_view>
#include <vector>

namespace nosk::json {

// One JSON value. Objects keep their members in the file's order.
struct Value {
    enum class Type { Null, Boolean, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    // An object's members: their names and, in the same order, values.
    std::vector<std::string> keys;
    std::vector<Value> members;

    bool isNull() const { return type == Type::Null; }
    bool isNumber() const { return type == Type::Number; }
    bool isString() const { return type == Type::String; }
    bool isArray() const { return type == Type::Array; }
    bool isObject() const { return type == Type::Object; }
    // The member `key` of an object (the first of that name); null for a
    // missing key or a value that is no object.
    const Value* find(std::string_view key) const;
};

// Nesting deeper than this is refused (the reader recurses).
inline constexpr int kMaxDepth = 64;

// The value `text` holds, with nothing but white space after it. Throws
// nosk::exception "JSON: <what> at line L, column C" for anything else.
Value parse(std::string_view text);

} // namespace nosk::json
