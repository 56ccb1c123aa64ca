#include "dialog_recorder.h"

#include <QMessageBox>

namespace testing {

DialogRecorder::DialogRecorder() {
    dialogs::setMessageHandler([this](const dialogs::Message& message) {
        messages << message;
        if (onMessage)
            onMessage();
        if (answers.empty())
            return int(QMessageBox::Ok);
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    });
    dialogs::setEndHandler([this](int code) { ends << code; });
    dialogs::setOpenFileHandler([this](const QString&, const QString&) {
        if (nextFiles.empty())
            return QString();
        const QString file = nextFiles.front();
        nextFiles.pop_front();
        return file;
    });
}

DialogRecorder::~DialogRecorder() {
    dialogs::setMessageHandler({});
    dialogs::setEndHandler({});
    dialogs::setOpenFileHandler({});
}

QStringList DialogRecorder::texts() const {
    QStringList result;
    for (const dialogs::Message& message : messages)
        result << message.text;
    return result;
}

} // namespace testing
