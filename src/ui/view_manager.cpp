#include "ui/view_manager.h"

#include "ui/form_view.h"

namespace tarnwick {

ViewManager::ViewManager(const std::vector<Window*>& windows) {
    for (Window* w : windows)
        if (w) add(*w);
}

ViewManager::~ViewManager() {
    for (Window* w : windows_) w->windowChanged = nullptr;
    // Views go before the windows they show, each removing its controls' hooks.
    views_.clear();
}

void ViewManager::add(Window& window) {
    for (Window* w : windows_)
        if (w == &window) return;
    windows_.push_back(&window);
    window.windowChanged = [this, &window] { changed(window); };
    if (window.isVisible()) changed(window);
}

FormView* ViewManager::viewFor(const Window& window) const {
    auto it = views_.find(&window);
    return it == views_.end() ? nullptr : it->second.get();
}

void ViewManager::changed(Window& window) {
    FormView* view = viewFor(window);
    if (!view) {
        if (!window.isVisible()) return;  // a hidden window keeps needing no widgets
        view = (views_[&window] = std::make_unique<FormView>(window)).get();
    }
    view->syncWindow();
}

}  // namespace tarnwick
