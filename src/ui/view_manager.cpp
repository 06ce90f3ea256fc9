#include "ui/view_manager.h"

#include "ui/form_view.h"

namespace tarnwick {

ViewManager::ViewManager(const std::vector<Window*>& windows) {
    for (Window* w : windows)
        if (w) add(*w);
}

ViewManager::~ViewManager() {
    for (Window* w : windows_) w->windowChanged = nullptr;
    // Views go before the windows they show, each removing its controls' hooks; dialogs before the
    // views they belong to, which would otherwise take them along.
    for (auto& [window, view] : views_)
        if (view && view->parentWidget()) view.reset();
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
    belongTo(*view, window.owner() ? viewFor(*window.owner()) : nullptr);
    view->syncWindow();
}

void ViewManager::belongTo(FormView& view, FormView* owner) {
    if (view.parentWidget() == owner) return;
    // A dialog stands over the window it belongs to: transient for it, with no task-bar entry and no
    // minimise box, so it can never be minimised away while it keeps the other windows waiting.
    const bool shown = view.isVisible();
    const Qt::WindowFlags flags = owner ? Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                                        : view.windowFlags();
    view.setParent(owner, flags);
    if (shown) view.show();
}

}  // namespace tarnwick
