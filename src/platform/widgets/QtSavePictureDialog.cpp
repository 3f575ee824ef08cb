#include "platform/widgets/QtSavePictureDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace velkor {

std::optional<QString> QtSavePictureDialog::ask() {
    QFileDialog dialog(owner_, QString(), QString(), Filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(DefaultExt);
    if (!FileName.isEmpty()) {
        dialog.selectFile(FileName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return std::nullopt;
    }
    return files.front();
}

} // namespace velkor
