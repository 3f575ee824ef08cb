#include "app/ProgramWindow.h"

#include "app/VelkorApplication.h"

#include <QDir>

namespace velkor {

ProgramWindow::BoxesInstalled::BoxesInstalled(VelkorApplication& app, MessageBoxes& boxes) {
    app.setMessageBoxes(&boxes);
}

ProgramWindow::ProgramWindow(VelkorApplication& app, MessageBoxes& boxes,
                             const QString& journalDirectory)
    : boxesInstalled_(app, boxes),
      window_({.boxes = boxes,
               .locale = platform_.locale,
               .clock = platform_.clock,
               .serial = platform_.serial,
               .portNames = platform_.portNames,
               .hid = platform_.hid,
               .journalDirectory = journalDirectory}) {}

QString journalDirectoryOfUser() {
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(stateHome)) {
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return stateHome + QStringLiteral("/velkor");
}

} // namespace velkor
