#pragma once
// The program's name and version; every caption and "/ver/" reply is built from these.

#include <string>

namespace tarnwick {

inline constexpr const char* kProductName = "Tarnwick";
inline constexpr int kVersionMajor = 7;
inline constexpr int kVersionMinor = 2;
inline constexpr int kVersionRevision = 1;

// "Tarnwick    CALL   v7.2.1" followed by the title: the caption every tool window sets at load.
std::string toolCaption(const std::string& callsign, const std::string& title);

}  // namespace tarnwick
