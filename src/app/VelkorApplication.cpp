#include "app/VelkorApplication.h"

#include "app/ErrorBox.h"
#include "app/QtTranslations.h"

#include <exception>

namespace velkor {

VelkorApplication::VelkorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The application title. Only the name is set: a display name of its own
    // would be appended to every window title by the X11 and Wayland
    // platforms, and the main window's title must be the variant's caption
    // alone. applicationDisplayName() still answers "VELKOR".
    setApplicationName(QStringLiteral("VELKOR"));
    installQtJapanese(*this);
}

bool VelkorApplication::notify(QObject* receiver, QEvent* event) {
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    // The box runs its own event loop, so it is shown outside the catch.
    if (boxes_) {
        showErrorBox(*boxes_, message);
    }
    return false;
}

} // namespace velkor
