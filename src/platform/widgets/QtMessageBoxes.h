#pragma once

#include "platform/MessageBoxes.h"

class QWidget;

namespace velkor {

// Real message boxes, shown with QMessageBox and owned by a parent window
// when one is set.
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer show(const QString& text, const QString& caption, Icon icon, Buttons buttons) override;
    Answer ask(const QString& text, const QString& caption, Icon icon,
               const std::vector<Choice>& choices, Answer escape) override;

private:
    QWidget* parent_;
};

} // namespace velkor
