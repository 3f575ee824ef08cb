#pragma once

#include "meter/MeterVariant.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace velkor::cli {

// A tiny option reader: --name VALUE pairs, --flag switches and positionals.
class CliOptions {
public:
    CliOptions(QStringList args, QStringList valueOptions, QStringList flagOptions);

    bool ok() const { return error_.isEmpty(); }
    const QString& error() const { return error_; }
    bool help() const { return help_; }
    std::optional<QString> value(const QString& name) const;
    bool flag(const QString& name) const { return flags_.contains(name); }
    const QStringList& positional() const { return positional_; }

    // --variant NAME, or the build's own variant.
    std::optional<MeterVariant> variant(QString* error) const;
    // --count N: N (a whole number, 0 or more), or -1 when not given. Sets
    // *error when the value is not a whole number.
    long count(QString* error) const;

private:
    QStringList positional_;
    QStringList flags_;
    QList<QPair<QString, QString>> values_;
    QString error_;
    bool help_ = false;
};

// The variant of a command that reads one stream (FILE, or - for standard
// input). Prints the usage error and gives nothing when the options are
// wrong or there is not exactly one FILE.
std::optional<MeterVariant> streamCommandVariant(const CliOptions& opts, const QString& command);

// Prints "velkor-cli: MESSAGE" on standard error.
void reportError(const QString& message);

} // namespace velkor::cli
