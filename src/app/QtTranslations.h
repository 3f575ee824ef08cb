#pragma once

class QCoreApplication;

namespace velkor {

// The program speaks Japanese whatever the machine's language, and so do
// Qt's own texts in it: the standard buttons of the message boxes, the file
// dialogs, the print preview's controls. Installs Qt's Japanese
// translations (qtbase_ja from Qt's translations folder, Debian's
// qt6-translations-l10n) in the application; false when they are not
// installed on the machine, and Qt's texts stay English.
bool installQtJapanese(QCoreApplication& app);

} // namespace velkor
