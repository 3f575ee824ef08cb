#include "app/ErrorBox.h"

#include "platform/MessageBoxes.h"

namespace velkor {

QString errorBoxText(const QString& message) {
    // A Japanese sentence that ends in its own full stop gets no second one;
    // an empty message stays empty.
    if (message.isEmpty() || message.endsWith(u'.') || message.endsWith(u'\u3002')) {
        return message;
    }
    return message + u'.';
}

void showErrorBox(MessageBoxes& boxes, const QString& message) {
    boxes.show(errorBoxText(message), QStringLiteral("VELKOR"), MessageBoxes::Icon::Error,
               MessageBoxes::Buttons::Ok);
}

} // namespace velkor
