#pragma once
// A tool window model: its controls, timers, host link and settings, with the window life cycle.
// The object lives as long as the program; loading runs its start-up step (a new host link, its
// settings read), unloading drops what the start-up made, and showing an unloaded tool loads it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"

namespace tarnwick {

class Runtime;
class HostHub;
class SettingsTable;
class HostLink;

// What every tool is given.
struct ToolContext {
    Runtime& rt;
    HostHub& hub;
    class ToolRegistry& tools;
    // The folder of the settings files ("" means the default folder).
    std::string settingsDir;
    // While set (the launcher's "Save / Exit"), failed saves are gathered here, one line each naming
    // the file and the reason, instead of a message box each.
    std::vector<std::string>* saveFailures = nullptr;
};

class Tool : public Window {
public:
    Tool(ToolContext& ctx, std::string name) : ctx_(ctx), name_(std::move(name)) {}
    ~Tool() override;

    // The window's name ("Form1").
    const std::string& name() const { return name_; }
    bool loaded() const { return loaded_; }

    // Loads the window (its start-up step) if it is not loaded.
    void load();
    // Drops what the start-up made (its host link, running timers) and hides the window.
    void unload();
    void show();
    void hide();

    // Whether the tool keeps a settings file that the launcher's "Save / Exit" writes.
    virtual bool keepsSettings() const { return false; }
    // The tool's public save; true when the file was written. A failure is reported by the tool.
    virtual bool SaveData() { return true; }

protected:
    // The window's start-up step.
    virtual void Form_Load() = 0;
    // What unloading the window undoes; the default does nothing.
    virtual void Form_Unload() {}
    // What a loaded tool does when the program ends, whichever way it ends (close boxes, quit
    // prompts, Closing, signals): it stops what it has on air and finishes work that must not be cut
    // off. It saves nothing: each way of ending keeps its own saves. Every line a host link still
    // holds is released after all tools have done this. The default does nothing.
    virtual void exitCleanUp() {}

    // Reads a settings file whole into the controls of a table.
    void readSettings(const SettingsTable& table, const std::string& fileName, int bufferSize);
    // Writes the table's keys and saves the file. A failure is always written as a diagnostic and, when
    // the operator asked for the save, shown in a message box. Returns whether the file was written.
    bool writeSettings(const SettingsTable& table, const std::string& fileName, int bufferSize, bool operatorAsked);
    // Runs a host call (or any step) and passes over its failure with a diagnostic naming the step.
    bool tryStep(const char* step, const std::function<void()>& fn);
    // The node's own callsign through the given link; empty when the host does not answer.
    std::string readCallsign(HostLink& link);

    ToolContext& ctx_;

private:
    std::string name_;
    bool loaded_ = false;
    int exitWork_ = 0;
};

}  // namespace tarnwick
