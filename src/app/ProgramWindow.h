#pragma once

#include "app/TFCOMM.h"
#include "platform/linux/LinuxPlatform.h"

#include <QString>

namespace velkor {

class MessageBoxes;
class VelkorApplication;

// The main window on the machine's own platform, made the one way the
// program and the screenshot tool both make it: the application's message
// boxes are `boxes`, and the window's journal is kept in `journalDirectory`
// (none: no journal).
class ProgramWindow {
public:
    ProgramWindow(VelkorApplication& app, MessageBoxes& boxes, const QString& journalDirectory);

    TFCOMM& window() { return window_; }

private:
    // The application tells its errors in `boxes` before the window exists.
    struct BoxesInstalled {
        BoxesInstalled(VelkorApplication& app, MessageBoxes& boxes);
    } boxesInstalled_;
    LinuxPlatform platform_;
    TFCOMM window_;
};

// Where the window keeps its journal: velkor/ under $XDG_STATE_HOME, or
// ~/.local/state when that is not set, as the XDG base directories place a
// program's state.
QString journalDirectoryOfUser();

} // namespace velkor
