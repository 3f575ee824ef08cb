#include "platform/widgets/QtMessageBoxes.h"

#include <QMessageBox>

namespace velkor {

namespace {

QMessageBox::Icon qtIcon(MessageBoxes::Icon icon) {
    switch (icon) {
    case MessageBoxes::Icon::Information: return QMessageBox::Information;
    case MessageBoxes::Icon::Warning: return QMessageBox::Warning;
    case MessageBoxes::Icon::Error: return QMessageBox::Critical;
    case MessageBoxes::Icon::Question: return QMessageBox::Question;
    case MessageBoxes::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MessageBoxes::Answer QtMessageBoxes::show(const QString& text, const QString& caption, Icon icon,
                                          Buttons buttons) {
    QMessageBox box(
        qtIcon(icon), caption, text,
        buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent_);
    if (buttons == Buttons::YesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int pressed = box.exec();
    if (buttons == Buttons::YesNo) {
        return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    return Answer::Ok;
}

} // namespace velkor
