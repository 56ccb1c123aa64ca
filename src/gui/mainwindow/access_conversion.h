#pragma once

// Offers to bring a chosen Access installation over into a new SQLite file beside it, converts it
// with the window responsive, and shows what was converted and what the check found.

#include <QString>

class QWidget;

// The new SQLite file, or the empty text when the user declined or the conversion failed (its
// message shown).
QString offerAccessConversion(QWidget* parent, const QString& accessFile);
