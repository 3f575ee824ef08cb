#include "platform/widgets/QtMessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

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

// Where the desktop's button order puts each answer.
QMessageBox::ButtonRole roleOf(MessageBoxes::Answer answer) {
    switch (answer) {
    case MessageBoxes::Answer::Yes: return QMessageBox::YesRole;
    case MessageBoxes::Answer::No: return QMessageBox::NoRole;
    case MessageBoxes::Answer::Discard: return QMessageBox::DestructiveRole;
    case MessageBoxes::Answer::Cancel: return QMessageBox::RejectRole;
    case MessageBoxes::Answer::Ok:
    case MessageBoxes::Answer::Save: break;
    }
    return QMessageBox::AcceptRole;
}

} // namespace

MessageBoxes::Answer QtMessageBoxes::ask(const QString& text, const QString& caption, Icon icon,
                                         const std::vector<Choice>& choices, Answer escape) {
    QMessageBox box(qtIcon(icon), caption, text, QMessageBox::NoButton, parent_);
    std::vector<std::pair<QAbstractButton*, Answer>> buttons;
    for (const Choice& c : choices) {
        QPushButton* b = box.addButton(c.text, roleOf(c.answer));
        if (buttons.empty()) {
            box.setDefaultButton(b);
        }
        if (c.answer == escape) {
            box.setEscapeButton(b);
        }
        buttons.emplace_back(b, c.answer);
    }
    box.exec();
    for (const auto& [button, answer] : buttons) {
        if (box.clickedButton() == button) {
            return answer;
        }
    }
    return escape;
}

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
