#pragma once

// Buttons of the program's dialogs: Enter in another control never presses one of them (Enter has
// meanings of its own in the entry fields), but Enter on a focused button presses it, as Space does.

#include <QPushButton>

namespace dialogs {

void pressOnlyWhenFocused(QPushButton* button);

// A dialog's button with its object name and caption, pressed only when focused, calling the
// window's handler.
template <class Window>
QPushButton* dialogButton(Window* window, const QString& name, const QString& caption,
                          void (Window::*handler)()) {
    auto* button = new QPushButton(caption, window);
    button->setObjectName(name);
    pressOnlyWhenFocused(button);
    QObject::connect(button, &QPushButton::clicked, window, handler);
    return button;
}

} // namespace dialogs
