#pragma once

// Buttons of the program's dialogs: Enter in another control never presses one of them (Enter has
// meanings of its own in the entry fields), but Enter on a focused button presses it, as Space does.

class QPushButton;

namespace dialogs {

void pressOnlyWhenFocused(QPushButton* button);

} // namespace dialogs
