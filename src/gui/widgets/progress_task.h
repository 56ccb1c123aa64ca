#pragma once

// Runs a long read on a thread of its own while the window stays responsive: a progress window
// says what is being read and offers Cancel.

#include <QString>
#include <functional>

class QWidget;

// Told what the work is doing now (an empty text: no news); returns false once the user has
// cancelled.
using ProgressReport = std::function<bool(const QString& doing)>;

// Returns when `work` has returned. `work` must not touch widgets; it reports through its argument.
void runWithProgress(QWidget* parent, const QString& title,
                     const std::function<void(const ProgressReport&)>& work);
