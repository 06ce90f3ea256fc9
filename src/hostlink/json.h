#pragma once
// A small JSON value with a parser and a compact writer: enough for the host protocol (one object
// per line) and the host's log. Objects keep their keys in insertion order, so a log line reads
// "seq", "time", "link", "op", "args" in that order. Strings are byte strings: UTF-8 passes through
// as it is, and so does any other byte at or above 0x20, so texts from the network survive a round trip.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tarnwick {

class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Json {
public:
    using Array = std::vector<Json>;
    using Object = std::vector<std::pair<std::string, Json>>;

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : v_(b) {}
    Json(int i) : v_(static_cast<long long>(i)) {}
    Json(long i) : v_(static_cast<long long>(i)) {}
    Json(long long i) : v_(i) {}
    Json(unsigned i) : v_(static_cast<long long>(i)) {}
    Json(unsigned long i) : v_(static_cast<long long>(i)) {}
    Json(double d) : v_(d) {}
    Json(const char* s) : v_(std::string(s)) {}
    Json(std::string s) : v_(std::move(s)) {}
    Json(Array a) : v_(std::move(a)) {}

    static Json object() { Json j; j.v_ = Object{}; return j; }
    static Json array() { return Json(Array{}); }

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isBool() const { return std::holds_alternative<bool>(v_); }
    bool isInt() const { return std::holds_alternative<long long>(v_); }
    bool isDouble() const { return std::holds_alternative<double>(v_); }
    bool isNumber() const { return isInt() || isDouble(); }
    bool isString() const { return std::holds_alternative<std::string>(v_); }
    bool isArray() const { return std::holds_alternative<Array>(v_); }
    bool isObject() const { return std::holds_alternative<Object>(v_); }

    // Typed access; each throws JsonError when the value is of another kind.
    bool asBool() const;
    long long asInt() const;
    double asDouble() const;
    const std::string& asString() const;
    const Array& asArray() const;
    Array& asArray();
    const Object& asObject() const;

    // Object members. get() returns nullptr when the key is missing or this is no object.
    const Json* get(const std::string& key) const;
    // Sets a member, replacing an existing one in its place or appending a new one; turns null into an object.
    Json& set(const std::string& key, Json value);
    // Appends to an array; turns null into an array.
    Json& push(Json value);

    // Compact text without blanks or line breaks (line breaks inside strings are escaped).
    std::string dump() const;
    // Parses one whole JSON text; surrounding blanks are allowed, anything else after it is an error.
    static Json parse(const std::string& text);

    bool operator==(const Json& o) const { return v_ == o.v_; }

private:
    void dumpTo(std::string& out) const;
    std::variant<std::monostate, bool, long long, double, std::string, Array, Object> v_;
};

// Appends s as a quoted JSON string.
void jsonQuote(std::string& out, const std::string& s);

}  // namespace tarnwick
