#pragma once

#include <QString>

namespace velkor {

class MessageBoxes;

// The text of the error box: the message, with a full stop appended unless
// it already ends in one.
QString errorBoxText(const QString& message);

// The one error box of the program: stop icon, one OK button, the
// application's title "VELKOR" as caption. Every error that ends a handler
// is shown through here, and the program goes on afterwards.
void showErrorBox(MessageBoxes& boxes, const QString& message);

} // namespace velkor
