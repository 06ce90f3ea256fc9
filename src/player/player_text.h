#pragma once
// Numbers as the player reads them from its boxes.

#include <optional>
#include <string>

namespace tarnwick {

// A whole number written in decimal digits, blanks around it allowed, a leading "-" only when
// allowSign; nullopt for anything else (empty, letters, a fraction, more than 15 digits).
std::optional<long long> wholeNumber(const std::string& text, bool allowSign = false);
// A decimal number such as "-1404" or "12.5", blanks around it allowed; nullopt for anything else.
std::optional<double> decimalNumber(const std::string& text);
// The text's value when it is a positive whole number, else 0: periods that are no positive whole
// number count as "0".
long long positiveWhole(const std::string& text);
// The decimal number rounded to a whole one, halves to even.
std::optional<long long> roundedNumber(const std::string& text);

}  // namespace tarnwick
