#pragma once

#include "platform/SavePictureDialog.h"

class QWidget;

namespace velkor {

// The picture save dialog on a Qt file dialog: the filter "Bitmaps (*.bmp)",
// the default extension added by the dialog too, a question before
// overwriting a file.
class QtSavePictureDialog final : public SavePictureDialog {
public:
    explicit QtSavePictureDialog(QWidget* owner) : owner_(owner) {}

protected:
    std::optional<QString> ask() override;

private:
    QWidget* owner_;
};

} // namespace velkor
