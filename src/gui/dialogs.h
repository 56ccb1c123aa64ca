#pragma once

// Every message box, file dialog, modal window and the end of the program go through here, so
// that tests can answer them without blocking or exiting.

#include <QMessageBox>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace dialogs {

// The application's title, used as the title of most message boxes.
QString appTitle();

int message(const QString& text, const QString& title = appTitle(),
            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// The chosen existing file, or the empty text when the dialog was cancelled.
QString openFileName(QWidget* parent, const QString& startPath, const QString& filter);
// The file to write; answered by the same handler as openFileName in tests.
QString saveFileName(QWidget* parent, const QString& startPath, const QString& filter);
int execModal(QDialog* dialog);
// Ends the program: every event loop returns, so main() returns the status and destructors run.
// From then on no message box or window is shown; callers return at once after calling this.
void endProgram(int exitCode = 0);
bool endRequested();
int requestedExitCode();

// Shows the busy cursor while a database or workbook is waited for.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A question answered by one of `choices` (buttons in that order, the last one also Escape):
// its index, or -1 once the program is ending.
int choose(const QString& text, const QStringList& choices);

struct Message {
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QStringList choices; // choose(): the answer is an index into them
};
using MessageHandler = std::function<int(const Message&)>;
using OpenFileHandler = std::function<QString(const QString& startPath, const QString& filter)>;
using ModalHandler = std::function<int(QDialog*)>;
using EndHandler = std::function<void(int)>;

// An empty handler restores the real behaviour.
void setMessageHandler(MessageHandler handler);
void setOpenFileHandler(OpenFileHandler handler);
void setModalHandler(ModalHandler handler);
void setEndHandler(EndHandler handler);

} // namespace dialogs
