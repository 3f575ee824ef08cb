#pragma once

#include <QFileInfo>
#include <QString>

#include <optional>

namespace velkor {

// The dialog that asks where to save the chart picture. The program shows a
// real file dialog; tests answer it without a human.
class SavePictureDialog {
public:
    virtual ~SavePictureDialog() = default;

    // Runs the dialog. On OK, FileName holds the chosen file with DefaultExt
    // added when the name typed has no extension; on Cancel returns false
    // and FileName keeps its value.
    bool Execute() {
        const std::optional<QString> chosen = ask();
        if (!chosen) {
            return false;
        }
        FileName = *chosen;
        if (!DefaultExt.isEmpty() && QFileInfo(FileName).suffix().isEmpty()) {
            FileName += QLatin1Char('.') + DefaultExt;
        }
        return true;
    }

    QString Filter = QStringLiteral("Bitmaps (*.bmp)");
    QString DefaultExt = QStringLiteral("bmp");
    QString FileName;

protected:
    // The file name the user chose, or nothing when cancelled. Asks before
    // overwriting an existing file.
    virtual std::optional<QString> ask() = 0;
};

} // namespace velkor
