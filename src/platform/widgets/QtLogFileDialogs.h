#pragma once

#include "platform/LogFileDialogs.h"

class QWidget;

namespace velkor {

// The log commands' save and open dialogs as Qt file dialogs. The filter's
// "Description|pattern" pairs become Qt name filters; a typed name without
// an extension gets the default extension, or the extension of the filter
// the user has chosen.
class QtLogFileDialogs final : public LogFileDialogs {
public:
    explicit QtLogFileDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<QString> saveFileName(const Options& options) override;
    std::optional<QString> openFileName(const Options& options) override;

private:
    std::optional<QString> run(const Options& options, bool save);

    QWidget* parent_;
};

// A "Description|pattern|..." filter in Qt's file dialog syntax: one
// "Description (pattern)" entry per pair, joined by ";;". A description
// that already ends in "(pattern)" is kept as it is.
QString qtFileDialogFilter(const QString& filter);

} // namespace velkor
