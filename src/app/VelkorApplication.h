#pragma once

#include <QApplication>

namespace velkor {

class MessageBoxes;

// The application with the program's last error boundary: an exception that
// leaves an event handler is caught in notify(), shown in the error box and
// the event loop goes on. Handlers of the main window catch their own errors
// first (TFCOMM::guarded); this catches whatever slips past them. Qt's own
// texts (standard buttons, dialogs) are Japanese, as the program is.
class VelkorApplication : public QApplication {
    Q_OBJECT
public:
    VelkorApplication(int& argc, char** argv);

    // Where the error box is shown; without one, errors are only swallowed.
    void setMessageBoxes(MessageBoxes* boxes) { boxes_ = boxes; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    MessageBoxes* boxes_ = nullptr;
};

} // namespace velkor
