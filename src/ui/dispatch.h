// Every event handler runs through here: a failure raised inside a handler is shown in a message
// box with its own text (an empty text when it carries none) and the event loop goes on.
#pragma once

#include "ui/toolkit.h"

#include <exception>
#include <utility>

namespace ui {

template <typename Fn> void dispatchGuarded(Toolkit& toolkit, Fn&& handler) {
    try {
        std::forward<Fn>(handler)();
    } catch (const std::exception& failure) {
        toolkit.messageBox(failure.what(), "");
    } catch (...) {
        toolkit.messageBox("", "");
    }
}

} // namespace ui
