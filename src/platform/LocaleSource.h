#pragma once

#include <QLocale>
#include <QString>

namespace velkor {

// Where decimal separators and formats come from. The program reads the
// user's locale (LC_ALL / LC_NUMERIC / LANG); tests and the command line can
// fix it.
class LocaleSource {
public:
    virtual ~LocaleSource() = default;
    // Decimal separator of the user's default locale (FsDot).
    virtual QString userDecimalSeparator() const = 0;
    // Decimal separator of the system's default locale; empty when unknown.
    virtual QString systemDecimalSeparator() const = 0;
    // The user's locale, for time formats.
    virtual QLocale userLocale() const = 0;
};

} // namespace velkor
