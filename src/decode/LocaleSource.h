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
    QString systemSeparator_;
};

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
