#pragma once

// Answers the windows' message boxes and file dialogs, and records every message and program end.

#include "gui/dialogs.h"

#include <QStringList>
#include <deque>
#include <functional>

namespace testing {

// Answers message boxes and file dialogs and records every message and program end.
class DialogRecorder {
public:
    DialogRecorder();
    ~DialogRecorder();
    QList<dialogs::Message> messages;
    QList<int> ends;
    std::deque<QString> nextFiles;   // answers for file dialogs; empty means cancelled
    std::function<void()> onMessage; // runs while each message is open
    std::deque<int> answers;         // buttons pressed in the next message boxes; Ok after them

    QStringList texts() const;
};

} // namespace testing
