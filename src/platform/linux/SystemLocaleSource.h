#pragma once

#include "platform/LocaleSource.h"

namespace velkor {

// The machine's locales. The user's locale is the one Qt takes from the
// environment; the system locale is the one /etc/default/locale or
// /etc/locale.conf names, falling back to the user's when neither says.
class SystemLocaleSource final : public LocaleSource {
public:
    SystemLocaleSource();
    QString userDecimalSeparator() const override;
    QString systemDecimalSeparator() const override;
    QLocale userLocale() const override;

private:
    QString userSeparator_;
    QString systemSeparator_;
};

} // namespace velkor
