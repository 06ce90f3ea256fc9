#pragma once
// The one way the program opens an address (a web page, a mail link, a file): with the desktop's
// opener, a failure explained in a message box rather than passed over as if the page had opened.

#include <string>

namespace tarnwick {

class Runtime;

// Opens an address with the desktop and explains a failure in a message box.
void OpenUrl(Runtime& rt, const std::string& url);

}  // namespace tarnwick
