#include "toolbox/tool.h"

#include <exception>

#include "hostlink/host_link.h"
#include "runtime/runtime.h"
#include "settings/settings_file.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

Tool::~Tool() {
    if (exitWork_) ctx_.rt.removeExitWork(exitWork_);
}

void Tool::load() {
    if (loaded_) return;
    loaded_ = true;
    exitWork_ = ctx_.rt.addExitWork([this] { exitCleanUp(); });
    Form_Load();
}

void Tool::unload() {
    if (!loaded_) return;
    setVisible(false);
    Form_Unload();
    loaded_ = false;
    ctx_.rt.removeExitWork(exitWork_);
    exitWork_ = 0;
}

void Tool::show() {
    load();
    setVisible(true);
    // Showing a window that is already up (perhaps minimised) brings it back in front.
    raise();
}

void Tool::hide() {
    load();
    setVisible(false);
}

void Tool::readSettings(const SettingsTable& table, const std::string& fileName, int bufferSize) {
    ToolSettingsFile file(fileName, bufferSize, ctx_.settingsDir);
    // An unreadable file runs the tool on its defaults; say why.
    if (!file.load()) ctx_.rt.error(name_ + " settings", file.error());
    table.load(file);
}

bool Tool::writeSettings(const SettingsTable& table, const std::string& fileName, int bufferSize,
                         bool operatorAsked) {
    ToolSettingsFile file(fileName, bufferSize, ctx_.settingsDir);
    // Reload first so lines this tool does not own survive the rewrite.
    file.load();
    table.store(file);
    if (file.save()) {
        if (!file.notice().empty()) ctx_.rt.error(name_ + " save", file.notice());
        return true;
    }
    ctx_.rt.error(name_ + " save", file.error());
    if (ctx_.saveFailures)
        ctx_.saveFailures->push_back(file.error());
    else if (operatorAsked)
        ctx_.rt.messageBox(kProductName, "The settings could not be saved: " + file.error(), MsgButtons::Ok,
                           MsgIcon::Exclamation);
    return false;
}

bool Tool::tryStep(const char* step, const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        ctx_.rt.error(name_ + " " + step, e.what());
    } catch (...) {
        ctx_.rt.error(name_ + " " + step, "unknown failure");
    }
    return false;
}

std::string Tool::readCallsign(HostLink& link) {
    std::string call;
    tryStep("GetCallsign", [&] { call = link.GetCallsign(); });
    return call;
}

void ToolRegistry::add(Tool& tool) { tools_.push_back(&tool); }

Tool* ToolRegistry::find(const std::string& name) const {
    for (Tool* t : tools_)
        if (t->name() == name) return t;
    return nullptr;
}

std::string toolCaption(const std::string& callsign, const std::string& title) {
    return std::string(kProductName) + "    " + callsign + "   v" + std::to_string(kVersionMajor) + "." +
           std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision) + title;
}

}  // namespace tarnwick
