#pragma once

#include "platform/LocaleSource.h"

namespace velkor {

// A fixed locale, for tests and for reproducible command-line output.
class FixedLocaleSource final : public LocaleSource {
public:
    explicit FixedLocaleSource(QString userSeparator, QString systemSeparator = {},
                               QLocale locale = QLocale::c())
        : user_(std::move(userSeparator)), system_(std::move(systemSeparator)),
          locale_(std::move(locale)) {}
    QString userDecimalSeparator() const override { return user_; }
    QString systemDecimalSeparator() const override { return system_; }
    QLocale userLocale() const override { return locale_; }
    void setUserDecimalSeparator(QString s) { user_ = std::move(s); }
    void setSystemDecimalSeparator(QString s) { system_ = std::move(s); }

private:
    QString user_;
    QString system_;
    QLocale locale_;
};

} // namespace velkor
