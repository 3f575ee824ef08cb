#include "cli/CliOptions.h"

#include <cstdio>

namespace velkor::cli {

CliOptions::CliOptions(QStringList args, QStringList valueOptions, QStringList flagOptions) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help_ = true;
        } else if (valueOptions.contains(a)) {
            if (i + 1 >= args.size()) {
                error_ = QStringLiteral("%1 needs a value").arg(a);
                return;
            }
            values_.append({a, args[++i]});
        } else if (flagOptions.contains(a)) {
            flags_.append(a);
        } else if (a.startsWith(QLatin1String("--"))) {
            error_ = QStringLiteral("unknown option %1").arg(a);
            return;
        } else {
            positional_.append(a);
        }
    }
}

std::optional<QString> CliOptions::value(const QString& name) const {
    std::optional<QString> found;
    for (const auto& [k, v] : values_) {
        if (k == name) {
            found = v;
        }
    }
    return found;
}

std::optional<MeterVariant> CliOptions::variant(QString* error) const {
    const auto name = value(QStringLiteral("--variant"));
    if (!name) {
        return buildVariant();
    }
    const auto v = variantFromName(name->toStdString());
    if (!v) {
        *error = QStringLiteral("unknown variant %1").arg(*name);
    }
    return v;
}

std::optional<MeterVariant> streamCommandVariant(const CliOptions& opts, const QString& command) {
    QString error = opts.error();
    const auto variant = opts.ok() ? opts.variant(&error) : std::nullopt;
    if (!variant || opts.positional().size() != 1) {
        reportError(error.isEmpty() ? QStringLiteral("%1 takes one FILE (or -)").arg(command)
                                    : error);
        return std::nullopt;
    }
    return variant;
}

long CliOptions::count(QString* error) const {
    const auto c = value(QStringLiteral("--count"));
    if (!c) {
        return -1;
    }
    bool ok = false;
    const long n = c->toLong(&ok);
    if (!ok || n < 0) {
        *error = QStringLiteral("--count needs a whole number");
        return -1;
    }
    return n;
}

void reportError(const QString& message) {
    std::fprintf(stderr, "velkor-cli: %s\n", qPrintable(message));
}

} // namespace velkor::cli
