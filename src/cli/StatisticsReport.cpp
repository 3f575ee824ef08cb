#include "cli/StatisticsReport.h"

#include "logfiles/CsvLine.h"
#include "stats/GroupFigures.h"
#include "stats/LogStatistics.h"
#include "stats/NumberText.h"

#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace velkor::cli {

namespace {

QJsonValue jsonNumber(std::optional<double> v) {
    return v ? QJsonValue(*v) : QJsonValue(); // not finite: null
}

QJsonValue jsonRef(const RowRef& ref, std::optional<double> value = std::nullopt,
                   bool withValue = false) {
    if (ref.row < 0) {
        return QJsonValue();
    }
    QJsonObject o{{QStringLiteral("row"), qint64(ref.row + 1)},
                  {QStringLiteral("no"), ref.no ? QJsonValue(*ref.no) : QJsonValue()},
                  {QStringLiteral("time"), ref.time}};
    if (withValue) {
        o.insert(QStringLiteral("value"), jsonNumber(value));
    }
    return o;
}

} // namespace

std::string statisticsTable(const LogStatistics& statistics) {
    if (statistics.groups().empty()) {
        return "(no rows)\n";
    }
    // Texts are left-aligned, numbers right-aligned.
    const QStringList header{
        QStringLiteral("Function"), QStringLiteral("Unit"),  QStringLiteral("Count"),
        QStringLiteral("Overload"), QStringLiteral("Fail"),  QStringLiteral("Min"),
        QStringLiteral("No."),      QStringLiteral("Time"),  QStringLiteral("Max"),
        QStringLiteral("No."),      QStringLiteral("Time"),  QStringLiteral("Mean"),
        QStringLiteral("StdDev"),   QStringLiteral("First"), QStringLiteral("Last")};
    const std::vector<bool> left{true,  true,  false, false, false, false, false, true,
                                 false, false, true,  false, false, true,  true};
    std::vector<QStringList> lines{header};
    for (const GroupStatistics& g : statistics.groups()) {
        QStringList line{g.function, g.unit};
        const auto figures = figureTexts(g);
        for (int f = 0; f < kFigureCount; ++f) {
            QString text = figures[std::size_t(f)];
            // A number that is not there reads as "-"; a missing number or
            // time of a row as nothing.
            const bool number = f == int(Figure::Minimum) || f == int(Figure::Maximum) ||
                                f == int(Figure::Mean) || f == int(Figure::StandardDeviation);
            line.append(number && text.isEmpty() ? QStringLiteral("-") : text);
        }
        lines.push_back(line);
    }
    std::vector<qsizetype> width(header.size(), 0);
    for (const QStringList& l : lines) {
        for (qsizetype c = 0; c < l.size(); ++c) {
            width[std::size_t(c)] = std::max(width[std::size_t(c)], l[c].size());
        }
    }
    QString out;
    for (const QStringList& l : lines) {
        QString line;
        for (qsizetype c = 0; c < l.size(); ++c) {
            if (c > 0) {
                line += QLatin1Char(' ');
            }
            const int w = int(width[std::size_t(c)]);
            line += left[std::size_t(c)] ? l[c].leftJustified(w) : l[c].rightJustified(w);
        }
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        out += line + QLatin1Char('\n');
    }
    return out.toStdString();
}

void appendStatisticsCsvHeader(CsvLine& line) {
    line.clear();
    for (const char* name :
         {"File", "Function", "Unit", "Count", "Overload", "Fail", "Min", "MinNo", "MinRow",
          "MinTime", "Max", "MaxNo", "MaxRow", "MaxTime", "Mean", "StdDev", "First", "Last"}) {
        line.bytes(name);
    }
}

std::string statisticsCsvLines(CsvLine& line, const QString& file,
                               const LogStatistics& statistics) {
    std::string out;
    const auto ref = [&line](const RowRef& r) {
        r.no ? line.integer(*r.no) : line.empty();
        line.integer(r.row + 1).text(r.time);
    };
    for (const GroupStatistics& g : statistics.groups()) {
        line.clear();
        line.text(file)
            .text(g.function)
            .text(g.unit)
            .integer(g.count())
            .integer(g.overloads)
            .integer(g.fails);
        if (g.count() > 0) {
            line.bytes(exactNumberText(g.minimum).toStdString());
            ref(g.minimumAt);
            line.bytes(exactNumberText(g.maximum).toStdString());
            ref(g.maximumAt);
            line.shortestDouble(g.values.mean());
        } else {
            for (int i = 0; i < 9; ++i) {
                line.empty();
            }
        }
        if (const auto sd = g.values.standardDeviation()) {
            line.shortestDouble(*sd);
        } else {
            line.empty();
        }
        line.text(g.first.time).text(g.last.time);
        out += line.terminated();
    }
    return out;
}

QJsonArray statisticsJson(const LogStatistics& statistics) {
    QJsonArray groups;
    for (const GroupStatistics& g : statistics.groups()) {
        const bool values = g.count() > 0;
        groups.append(QJsonObject{
            {QStringLiteral("function"), g.function},
            {QStringLiteral("unit"), g.unit},
            {QStringLiteral("count"), qint64(g.count())},
            {QStringLiteral("overload"), qint64(g.overloads)},
            {QStringLiteral("fail"), qint64(g.fails)},
            {QStringLiteral("min"), values ? jsonRef(g.minimumAt, g.minimum, true) : QJsonValue()},
            {QStringLiteral("max"), values ? jsonRef(g.maximumAt, g.maximum, true) : QJsonValue()},
            {QStringLiteral("mean"), values ? QJsonValue(g.values.mean()) : QJsonValue()},
            {QStringLiteral("stddev"), jsonNumber(g.values.standardDeviation())},
            {QStringLiteral("first"), jsonRef(g.first)},
            {QStringLiteral("last"), jsonRef(g.last)},
        });
    }
    return groups;
}

} // namespace velkor::cli
