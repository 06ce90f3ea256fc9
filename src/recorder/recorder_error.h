#pragma once
// The one kind of error the recorder's classes raise: a numbered run-time error with a description
// and, for the effects chain's own refusals, a source text naming what was refused. Everything else
// the classes report through Boolean results and integer codes.

#include <stdexcept>
#include <string>

namespace tarnwick {

class RecorderError : public std::runtime_error {
public:
    RecorderError(int number, const std::string& description, std::string source = {})
        : std::runtime_error(description), number_(number), source_(std::move(source)) {}
    int number() const { return number_; }
    std::string description() const { return what(); }
    const std::string& source() const { return source_; }

private:
    int number_;
    std::string source_;
};

// The numbered errors the classes use.
namespace recorder_errors {
constexpr int kOverflow = 6;
constexpr int kSubscriptOutOfRange = 9;
constexpr int kDivisionByZero = 11;
constexpr int kEncoderRunning = 90;
constexpr int kInvalidProperty = 380;
constexpr int kInvalidIndex = 381;
constexpr int kApplicationDefined = 32000;
inline const char* const kApplicationDefinedText = "Application-defined or object-defined error";
inline const char* const kSubscriptText = "Subscript out of range";
inline const char* const kDivisionByZeroText = "Division by zero";
}  // namespace recorder_errors

}  // namespace tarnwick
