#include "hostlink/json.h"

#include <limits>

namespace tarnwick {

namespace {

// The library's message without its "[json.exception...] " tag and position.
std::string withoutPrefix(std::string what) {
    if (const auto tag = what.find("] "); what.rfind("[json.exception.", 0) == 0 && tag != std::string::npos)
        what.erase(0, tag + 2);
    if (what.rfind("parse error at line ", 0) == 0)
        if (const auto colon = what.find(": "); colon != std::string::npos) what.erase(0, colon + 2);
    return what;
}

}  // namespace

Json parseJson(const std::string& text) {
    const Json::parser_callback_t bounded = [](int depth, Json::parse_event_t event, Json&) {
        // depth counts the containers already open around the one that starts here.
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
            depth >= kJsonMaxDepth)
            throw JsonError("bad JSON: nested deeper than " + std::to_string(kJsonMaxDepth) + " levels");
        return true;
    };
    try {
        return Json::parse(text, bounded);
    } catch (const Json::parse_error& e) {
        // Its text reads "[json.exception.parse_error.101] parse error at line 1, column 5: ..."; the
        // line is always one line, so the offset says where.
        throw JsonError("bad JSON at offset " + std::to_string(e.byte) + ": " + withoutPrefix(e.what()));
    } catch (const Json::exception& e) {
        // The library's other refusals while reading, such as a number too large for a double ("1e400").
        throw JsonError("bad JSON: " + withoutPrefix(e.what()));
    }
}

std::string dumpJson(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

const Json* jsonMember(const Json& j, const char* key) {
    if (!j.is_object()) return nullptr;
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

std::optional<long long> jsonWhole(const Json& j) {
    if (j.is_number_unsigned()) {
        const auto u = j.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) return std::nullopt;
        return static_cast<long long>(u);
    }
    if (j.is_number_integer()) return j.get<long long>();
    return std::nullopt;
}

}  // namespace tarnwick
