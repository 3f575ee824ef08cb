#include "stats/GroupFigures.h"

#include "stats/NumberText.h"

namespace velkor {

std::array<QString, kFigureCount> figureTexts(const GroupStatistics& g) {
    const auto no = [](const RowRef& ref) { return ref.no ? QString::number(*ref.no) : QString(); };
    std::array<QString, kFigureCount> t;
    const auto at = [&t](Figure f) -> QString& { return t[static_cast<std::size_t>(f)]; };
    at(Figure::Count) = QString::number(g.count());
    at(Figure::Overloads) = QString::number(g.overloads);
    at(Figure::Fails) = QString::number(g.fails);
    if (g.count() > 0) {
        at(Figure::Minimum) = exactNumberText(g.minimum);
        at(Figure::MinimumNo) = no(g.minimumAt);
        at(Figure::MinimumTime) = g.minimumAt.time;
        at(Figure::Maximum) = exactNumberText(g.maximum);
        at(Figure::MaximumNo) = no(g.maximumAt);
        at(Figure::MaximumTime) = g.maximumAt.time;
        at(Figure::Mean) = roundedNumberText(g.values.mean());
    }
    if (const auto sd = g.values.standardDeviation()) {
        at(Figure::StandardDeviation) = roundedNumberText(*sd);
    }
    at(Figure::FirstTime) = g.first.time;
    at(Figure::LastTime) = g.last.time;
    return t;
}

} // namespace velkor
