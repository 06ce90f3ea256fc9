#pragma once
// Gives each window model its view, made the first time the window is shown: a start with every
// tool hidden builds no widgets at all. The manager owns each window's change hook and keeps the
// view's title and shown state in line with the model.

#include <map>
#include <memory>
#include <vector>

#include "controls/controls.h"

namespace tarnwick {

class FormView;

class ViewManager {
public:
    // The windows must outlive the manager.
    explicit ViewManager(const std::vector<Window*>& windows = {});
    ~ViewManager();
    ViewManager(const ViewManager&) = delete;
    ViewManager& operator=(const ViewManager&) = delete;

    // Takes over the window's change hook; shows its view at once if the window is visible.
    void add(Window& window);
    // The window's view, or nullptr while it was never shown.
    FormView* viewFor(const Window& window) const;

private:
    void changed(Window& window);
    // Makes the view a dialog of the owner's view, or a window of its own without one.
    static void belongTo(FormView& view, FormView* owner);

    std::vector<Window*> windows_;
    std::map<const Window*, std::unique_ptr<FormView>> views_;
};

}  // namespace tarnwick
