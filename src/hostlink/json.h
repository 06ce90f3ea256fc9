#pragma once
// The JSON of the host protocol (one object per line) and of the host's log, on nlohmann's JSON.
// Objects keep their keys in the order they were set, so a log line reads "seq", "time", "link", "op",
// "args" in that order. Every line the other end sends passes parseJson, which bounds the nesting and
// says in one line what is wrong with a line that is no JSON; every line we send passes dumpJson,
// which keeps it on one line and valid UTF-8.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace tarnwick {

using Json = nlohmann::ordered_json;

class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Nesting is bounded so a hostile line cannot make a value that takes the stack to write or destroy.
inline constexpr int kJsonMaxDepth = 64;

// Parses one whole JSON text; surrounding blanks are allowed, anything else after it is an error.
// Throws JsonError ("bad JSON at offset N: ...") for text that is no JSON, strings that are not UTF-8
// and values nested deeper than kJsonMaxDepth.
Json parseJson(const std::string& text);

// Compact text without blanks or line breaks (line breaks inside strings are escaped). Bytes of a
// string that are not UTF-8 are written as U+FFFD.
std::string dumpJson(const Json& j);

// The member of an object, or nullptr when the key is missing or j is no object.
const Json* jsonMember(const Json& j, const char* key);

// A whole number that fits 64 bits, or nothing for any other value (a fraction, a larger number, text).
std::optional<long long> jsonWhole(const Json& j);

}  // namespace tarnwick
