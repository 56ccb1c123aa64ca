#include "gui/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>

namespace dialogs {

namespace {
MessageHandler messageHandler;
OpenFileHandler openFileHandler;
ModalHandler modalHandler;
EndHandler endHandler;
bool ending = false;
int endingCode = 0;
} // namespace

QString appTitle() {
    return QStringLiteral("Filter Control");
}

int message(const QString& text, const QString& title, QMessageBox::StandardButtons buttons) {
    if (messageHandler)
        return messageHandler(Message{text, title, buttons, {}});
    if (ending)
        return QMessageBox::NoButton;
    QMessageBox box(QMessageBox::NoIcon, title, text, buttons, QApplication::activeWindow());
    // A question that may lose something is answered No by Enter.
    if (buttons & QMessageBox::No)
        box.setDefaultButton(QMessageBox::No);
    // A message asked during a busy step (Store's question) is answered with the usual pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    QApplication::restoreOverrideCursor();
    return answer;
}

int choose(const QString& text, const QStringList& choices) {
    if (messageHandler)
        return messageHandler(Message{text, appTitle(), QMessageBox::NoButton, choices});
    if (ending)
        return -1;
    QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices)
        buttons << box.addButton(choice, QMessageBox::AcceptRole);
    // The last choice is the one that loses nothing: Enter and Escape both take it.
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.last()));
    box.setEscapeButton(buttons.last());
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
    return int(buttons.indexOf(box.clickedButton()));
}

BusyCursor::BusyCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
}

QString saveFileName(QWidget* parent, const QString& startPath, const QString& filter) {
    if (openFileHandler)
        return openFileHandler(startPath, filter);
    return QFileDialog::getSaveFileName(parent, appTitle(), startPath, filter);
}

QString openFileName(QWidget* parent, const QString& startPath, const QString& filter) {
    if (openFileHandler)
        return openFileHandler(startPath, filter);
    return QFileDialog::getOpenFileName(parent, appTitle(), startPath, filter);
}

int execModal(QDialog* dialog) {
    if (modalHandler)
        return modalHandler(dialog);
    if (ending)
        return QDialog::Rejected;
    return dialog->exec();
}

void endProgram(int exitCode) {
    if (endHandler) {
        endHandler(exitCode);
        return;
    }
    // Settings are written as each value is set; leaving the event loops lets destructors close the
    // database, the lock file and the local server.
    ending = true;
    endingCode = exitCode;
    QCoreApplication::exit(exitCode);
}

bool endRequested() {
    return ending;
}

int requestedExitCode() {
    return endingCode;
}

void setMessageHandler(MessageHandler handler) {
    messageHandler = std::move(handler);
}
void setOpenFileHandler(OpenFileHandler handler) {
    openFileHandler = std::move(handler);
}
void setModalHandler(ModalHandler handler) {
    modalHandler = std::move(handler);
}
void setEndHandler(EndHandler handler) {
    endHandler = std::move(handler);
}

} // namespace dialogs
