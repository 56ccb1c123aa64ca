#include "gui/widgets/focus_button.h"

#include <QKeyEvent>
#include <QPushButton>

namespace dialogs {

namespace {

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter))
            return false;
        button->click();
        return true;
    }
};

} // namespace

void pressOnlyWhenFocused(QPushButton* button) {
    button->setAutoDefault(false);
    static EnterPresses* const filter = new EnterPresses;
    button->installEventFilter(filter);
}

} // namespace dialogs
