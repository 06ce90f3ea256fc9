#pragma once
// The program's tool windows by name, in loading order. Tools reach each other through here and
// the small public faces in faces.h, never by including each other.

#include <string>
#include <vector>

#include "toolbox/tool.h"

namespace tarnwick {

class ToolRegistry {
public:
    // Adds a tool; the registry does not own it.
    void add(Tool& tool);
    Tool* find(const std::string& name) const;
    // The tool of that name seen through one of its faces, or nullptr.
    template <class Face>
    Face* face(const std::string& name) const {
        return dynamic_cast<Face*>(find(name));
    }
    // The same, for reading or writing its controls: a closed window is loaded again first (its
    // start-up runs and reads its file), so what it holds is never what was left at its close.
    template <class Face>
    Face* use(const std::string& name) const {
        Tool* tool = find(name);
        if (!tool) return nullptr;
        tool->load();
        return dynamic_cast<Face*>(tool);
    }
    const std::vector<Tool*>& all() const { return tools_; }

private:
    std::vector<Tool*> tools_;
};

}  // namespace tarnwick
