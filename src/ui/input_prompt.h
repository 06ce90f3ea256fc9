#pragma once
// The modal input prompt on Qt: a text, an empty edit field, OK and Cancel. Headless or unattended
// runs answer at once with Cancel (an empty answer), as nobody could type.

#include <string>

namespace tarnwick {

std::string qtInputPrompt(const std::string& prompt, const std::string& title);

}  // namespace tarnwick
