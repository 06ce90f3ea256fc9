#include "hostlink/json.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/utf8.h"

namespace tarnwick {

namespace {

const char* kindName(const Json& j) {
    if (j.isNull()) return "null";
    if (j.isBool()) return "a Boolean";
    if (j.isNumber()) return "a number";
    if (j.isString()) return "a string";
    if (j.isArray()) return "an array";
    return "an object";
}

[[noreturn]] void wrongKind(const Json& j, const char* wanted) {
    throw JsonError(std::string("expected ") + wanted + ", got " + kindName(j));
}

// Requests come from other processes; nesting is bounded so a hostile line cannot exhaust the stack.
constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}

    Json parseDocument() {
        skipBlanks();
        Json v = parseValue(0);
        skipBlanks();
        if (pos_ != s_.size()) fail("unexpected text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw JsonError("bad JSON at offset " + std::to_string(pos_) + ": " + what);
    }

    void skipBlanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool consumeWord(const char* w) {
        std::size_t n = std::char_traits<char>::length(w);
        if (s_.compare(pos_, n, w) != 0) return false;
        pos_ += n;
        return true;
    }

    Json parseValue(int depth) {
        if (depth > kMaxDepth) fail("nested too deeply");
        if (pos_ >= s_.size()) fail("unexpected end");
        char c = s_[pos_];
        if (c == '{') return parseObject(depth);
        if (c == '[') return parseArray(depth);
        if (c == '"') return Json(parseString());
        if (c == '-' || (c >= '0' && c <= '9')) return parseNumber();
        if (consumeWord("true")) return Json(true);
        if (consumeWord("false")) return Json(false);
        if (consumeWord("null")) return Json();
        fail(std::string("unexpected character '") + c + "'");
    }

    Json parseObject(int depth) {
        ++pos_;
        Json obj = Json::object();
        skipBlanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return obj;
        }
        for (;;) {
            skipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != '"') fail("expected a key");
            std::string key = parseString();
            skipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != ':') fail("expected ':'");
            ++pos_;
            skipBlanks();
            obj.set(key, parseValue(depth + 1));
            skipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return obj;
            }
            fail("expected ',' or '}'");
        }
    }

    Json parseArray(int depth) {
        ++pos_;
        Json arr = Json::array();
        skipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return arr;
        }
        for (;;) {
            skipBlanks();
            arr.push(parseValue(depth + 1));
            skipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return arr;
            }
            fail("expected ',' or ']'");
        }
    }

    unsigned hex4() {
        if (pos_ + 4 > s_.size()) fail("short \\u escape");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s_[pos_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                fail("bad \\u escape");
        }
        return v;
    }

    std::string parseString() {
        ++pos_;  // opening quote
        std::string out;
        for (;;) {
            if (pos_ >= s_.size()) fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(s_[pos_++]);
            if (c == '"') return out;
            if (c < 0x20) fail("control character in string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (pos_ >= s_.size()) fail("unterminated escape");
            char e = s_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned cp = hex4();
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        // A surrogate pair makes one code point; a lone half becomes U+FFFD.
                        if (pos_ + 6 <= s_.size() && s_[pos_] == '\\' && s_[pos_ + 1] == 'u') {
                            std::size_t save = pos_;
                            pos_ += 2;
                            unsigned lo = hex4();
                            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                            } else {
                                pos_ = save;
                                cp = 0xFFFD;
                            }
                        } else {
                            cp = 0xFFFD;
                        }
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        cp = 0xFFFD;
                    }
                    appendUtf8(out, static_cast<char32_t>(cp));
                    break;
                }
                default: fail(std::string("bad escape \\") + e);
            }
        }
    }

    Json parseNumber() {
        std::size_t start = pos_;
        if (s_[pos_] == '-') ++pos_;
        auto digits = [&] {
            std::size_t d = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
            return pos_ - d;
        };
        std::size_t intStart = pos_;
        if (digits() == 0) fail("bad number");
        if (s_[intStart] == '0' && pos_ - intStart > 1) fail("leading zero in number");
        bool integral = true;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            integral = false;
            if (digits() == 0) fail("bad number");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            integral = false;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (digits() == 0) fail("bad number");
        }
        std::string text = s_.substr(start, pos_ - start);
        if (integral) {
            errno = 0;
            long long v = std::strtoll(text.c_str(), nullptr, 10);
            if (errno != ERANGE) return Json(v);
        }
        return Json(std::strtod(text.c_str(), nullptr));
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

}  // namespace

bool Json::asBool() const {
    if (!isBool()) wrongKind(*this, "a Boolean");
    return std::get<bool>(v_);
}

long long Json::asInt() const {
    if (isInt()) return std::get<long long>(v_);
    if (isDouble()) {
        double d = std::get<double>(v_);
        if (std::trunc(d) == d && std::fabs(d) < 9.2e18) return static_cast<long long>(d);
    }
    wrongKind(*this, "an integer");
}

double Json::asDouble() const {
    if (isDouble()) return std::get<double>(v_);
    if (isInt()) return static_cast<double>(std::get<long long>(v_));
    wrongKind(*this, "a number");
}

const std::string& Json::asString() const {
    if (!isString()) wrongKind(*this, "a string");
    return std::get<std::string>(v_);
}

const Json::Array& Json::asArray() const {
    if (!isArray()) wrongKind(*this, "an array");
    return std::get<Array>(v_);
}

Json::Array& Json::asArray() {
    if (!isArray()) wrongKind(*this, "an array");
    return std::get<Array>(v_);
}

const Json::Object& Json::asObject() const {
    if (!isObject()) wrongKind(*this, "an object");
    return std::get<Object>(v_);
}

const Json* Json::get(const std::string& key) const {
    if (!isObject()) return nullptr;
    for (const auto& [k, v] : std::get<Object>(v_))
        if (k == key) return &v;
    return nullptr;
}

Json& Json::set(const std::string& key, Json value) {
    if (isNull()) v_ = Object{};
    if (!isObject()) wrongKind(*this, "an object");
    auto& obj = std::get<Object>(v_);
    for (auto& [k, v] : obj)
        if (k == key) {
            v = std::move(value);
            return *this;
        }
    obj.emplace_back(key, std::move(value));
    return *this;
}

Json& Json::push(Json value) {
    if (isNull()) v_ = Array{};
    asArray().push_back(std::move(value));
    return *this;
}

void jsonQuote(std::string& out, const std::string& s) {
    out += '"';
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void Json::dumpTo(std::string& out) const {
    if (isNull()) {
        out += "null";
    } else if (isBool()) {
        out += std::get<bool>(v_) ? "true" : "false";
    } else if (isInt()) {
        out += std::to_string(std::get<long long>(v_));
    } else if (isDouble()) {
        double d = std::get<double>(v_);
        if (!std::isfinite(d)) {
            out += "null";  // JSON has no infinities
        } else {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            out += buf;
        }
    } else if (isString()) {
        jsonQuote(out, std::get<std::string>(v_));
    } else if (isArray()) {
        out += '[';
        bool first = true;
        for (const auto& v : std::get<Array>(v_)) {
            if (!first) out += ',';
            first = false;
            v.dumpTo(out);
        }
        out += ']';
    } else {
        out += '{';
        bool first = true;
        for (const auto& [k, v] : std::get<Object>(v_)) {
            if (!first) out += ',';
            first = false;
            jsonQuote(out, k);
            out += ':';
            v.dumpTo(out);
        }
        out += '}';
    }
}

std::string Json::dump() const {
    std::string out;
    dumpTo(out);
    return out;
}

Json Json::parse(const std::string& text) { return Parser(text).parseDocument(); }

}  // namespace tarnwick
