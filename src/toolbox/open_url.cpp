#include "toolbox/open_url.h"

#include "runtime/runtime.h"
#include "toolbox/version.h"

namespace tarnwick {

void OpenUrl(Runtime& rt, const std::string& url) {
    const int code = rt.openUrl(url);
    if (code == 0) return;
    if (code == 31) {
        rt.messageBox(kProductName,
                      "No Association Found for HTTP Addresses. A Web Browser Should be Installed or Reinstalled.",
                      MsgButtons::Ok, MsgIcon::Exclamation);
    } else if (code == 2 || code == 3) {
        rt.messageBox(kProductName, "The '" + url + "' File or Path was Not Found.", MsgButtons::Ok,
                      MsgIcon::Exclamation);
    } else {
        rt.messageBox(kProductName,
                      "An error occurred attempting to open '" + url + "' (ShellExecute code " + std::to_string(code) +
                          ").",
                      MsgButtons::Ok, MsgIcon::Critical);
    }
}

}  // namespace tarnwick
