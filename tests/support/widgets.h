#pragma once

// Finding and working the controls of a window by their names, as a user would.

#include <QAbstractButton>
#include <QComboBox>
#include <QStringList>
#include <QWidget>

namespace testing {

template <typename T = QWidget> T* child(QWidget& window, const QString& name) {
    T* widget = window.findChild<T*>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

// Does nothing on a disabled button, as a click does not.
inline void click(QWidget& window, const QString& name) {
    child<QAbstractButton>(window, name)->click();
}

// Picks an entry the way a user does, so that the list's reaction runs.
inline void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}
inline void choose(QComboBox* combo, const QString& text) {
    choose(combo, combo->findText(text));
}

inline QStringList texts(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace testing
