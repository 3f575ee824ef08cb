#include "chart/view/TrendChartView.h"

#include "disk/AtomicFile.h"

#include <QAreaSeries>
#include <QChart>
#include <QGraphicsLayout>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QLinearGradient>
#include <QList>
#include <QPen>
#include <QPixmap>
#include <QPointF>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velkor {

namespace {

// Tick step of five to ten steps over `span`: 1, 2 or 5 times a power of ten.
double niceStep(double span) {
    if (!(span > 0) || !std::isfinite(span)) {
        return 1;
    }
    const double raw = span / 8;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double factor = norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10;
    return factor * magnitude;
}

} // namespace

// Sets an axis to [minimum, maximum] with round tick values; a window of a
// single position is widened by half a position each side so it can be drawn.
// Nothing is given to the axis that it shows already: a new range makes Qt
// Charts lay the axis out again.
void TrendChartView::setAxis(QValueAxis* axis, AxisShown& shown, double minimum, double maximum,
                             bool wholeNumbers) {
    if (maximum - minimum <= 0) {
        minimum -= 0.5;
        maximum += 0.5;
    }
    double step = niceStep(maximum - minimum);
    if (wholeNumbers) {
        step = std::max(step, 1.0);
    }
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    if (decimals != shown.decimals) {
        axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
        shown.decimals = decimals;
    }
    // Each setter lays the axis out with its ticks: of a new range and a new
    // step, the one that keeps the ticks in between few goes first (a range
    // of thousands at the step of a range of ten would make thousands of
    // labels, which squeeze each other to "…").
    const bool newRange = minimum != shown.minimum || maximum != shown.maximum;
    const bool newStep = step != shown.step;
    const bool stepFirst = !(shown.step > 0) || (shown.maximum - shown.minimum) / step <=
                                                    (maximum - minimum) / shown.step;
    if (newStep && stepFirst) {
        axis->setTickInterval(step);
    }
    if (newRange) {
        axis->setRange(minimum, maximum);
    }
    if (newStep && !stepFirst) {
        axis->setTickInterval(step);
    }
    shown.minimum = minimum;
    shown.maximum = maximum;
    shown.step = step;
}

TrendChartView::TrendChartView(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("Chtshow"));
    QChart* c = chart();
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->hide();
    c->setTitle(QStringLiteral("  "));
    c->setBackgroundRoundness(0);
    c->setBackgroundBrush(QColor(192, 220, 248));
    c->setBackgroundPen(Qt::NoPen);
    c->setMargins(QMargins(2, 6, 8, 2));
    c->layout()->setContentsMargins(0, 0, 0, 0);
    setBackgroundBrush(QColor(192, 220, 248)); // the view around the chart too
    // The back wall: white under a vertical gradient from silver to white.
    QLinearGradient wall(0, 0, 0, 1);
    wall.setCoordinateMode(QGradient::ObjectMode);
    wall.setColorAt(0, QColor(192, 192, 192));
    wall.setColorAt(1, Qt::white);
    c->setPlotAreaBackgroundBrush(wall);
    c->setPlotAreaBackgroundPen(QPen(Qt::black, 1));
    c->setPlotAreaBackgroundVisible(true);

    areaUpper_ = new QLineSeries(this);
    series2_ = new QAreaSeries(areaUpper_);
    series2_->setObjectName(QStringLiteral("Series2"));
    series2_->setBrush(QColor(255, 255, 128));
    series2_->setPen(QPen(QColor(0, 128, 255), 1));
    series2_->setPointsVisible(false);
    series2_->setPointLabelsVisible(false);

    series1_ = new QLineSeries();
    series1_->setObjectName(QStringLiteral("Series1"));
    series1_->setPen(QPen(QColor(128, 255, 0), 1));
    series1_->setPointsVisible(false);
    series1_->setPointLabelsVisible(false);

    c->addSeries(series2_);
    c->addSeries(series1_);

    axisX_ = new QValueAxis();
    axisX_->setTitleText(QStringLiteral("記録数"));
    axisX_->setTickType(QValueAxis::TicksDynamic);
    axisY_ = new QValueAxis();
    axisY_->setTitleText(QStringLiteral("値"));
    axisY_->setTickType(QValueAxis::TicksDynamic);
    axisY_->setLinePen(QPen(QColor(0, 64, 128), 1, Qt::DashLine));
    axisY_->setMinorTickCount(4);
    axisY_->setMinorGridLineVisible(false);
    axisX_->setTickAnchor(0);
    axisY_->setTickAnchor(0);
    c->addAxis(axisX_, Qt::AlignBottom);
    c->addAxis(axisY_, Qt::AlignLeft);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(series2_), static_cast<QAbstractSeries*>(series1_)}) {
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
    }

    // A chart, not a canvas: no zooming, no panning, no hover handling.
    setFrameShape(QFrame::NoFrame);
    setRubberBand(QChartView::NoRubberBand);
    setInteractive(false);
    setRenderHint(QPainter::Antialiasing, false);

    model_.setListener(this);
    dirty_ = true;
    refresh();
}

TrendChartView::~TrendChartView() {
    model_.setListener(nullptr);
}

QLineSeries* TrendChartView::lineOf(int seriesIndex) const {
    return seriesIndex == 0 ? areaUpper_ : seriesIndex == 1 ? series1_ : nullptr;
}

qsizetype TrendChartView::drawnPointCount(int seriesIndex) const {
    const QLineSeries* line = lineOf(seriesIndex);
    return line ? line->count() : 0;
}

void TrendChartView::scheduleRefresh() {
    dirty_ = true;
    queueRefresh();
}

void TrendChartView::queueRefresh() {
    if (paced_ || queued_) {
        return;
    }
    queued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            queued_ = false;
            if (!paced_) {
                refresh();
            }
        },
        Qt::QueuedConnection);
}

void TrendChartView::pointsAppended(long long first, long long /*count*/) {
    if (appendedFrom_ < 0 || first < appendedFrom_) {
        appendedFrom_ = first;
    }
    queueRefresh();
}

void TrendChartView::applyAxes() {
    const ChartModel::IndexSpan span = model_.visibleSpan();
    if (model_.horizontalAutomatic()) {
        setAxis(axisX_, shownX_, 0, static_cast<double>(std::max(span.last, 0LL)), true);
    } else {
        setAxis(axisX_, shownX_, model_.horizontalMinimum(), model_.horizontalMaximum(), true);
    }
    setAxis(axisY_, shownY_, model_.verticalMinimum(), model_.verticalMaximum(), false);
}

void TrendChartView::refresh() {
    if (!dirty_ && appendedFrom_ < 0) {
        return;
    }
    // New points alone leave the shown series as they are.
    const bool everything = dirty_;
    dirty_ = false;
    appendedFrom_ = -1;
    applyAxes();
    const ChartModel::IndexSpan span = model_.visibleSpan();
    // The window's points in one piece: Qt Charts lays a series out again
    // for every point appended to it, and once for a replacement.
    QList<QPointF> points;
    if (span.first <= span.last) {
        points.reserve(static_cast<qsizetype>(span.last - span.first + 1));
        for (long long x = span.first; x <= span.last; ++x) {
            points.append(QPointF(static_cast<qreal>(x), model_.value(x)));
        }
    }
    for (int i = 0; i < model_.seriesCount(); ++i) {
        QLineSeries* line = lineOf(i);
        if (!line) {
            continue;
        }
        // A hidden series keeps no points: it is refilled when shown.
        if (!model_.seriesVisible(i)) {
            if (line->count() > 0) {
                line->clear();
            }
        } else if (everything || line->count() != points.size() ||
                   (!points.isEmpty() && line->at(line->count() - 1) != points.last())) {
            line->replace(points);
        }
    }
    if (everything) {
        series2_->setVisible(model_.seriesVisible(0));
        series1_->setVisible(model_.seriesVisible(1));
    }
}

// Saved as the log's files are: the old picture stays whole until the new
// one is complete, and a pipe or a device in its place is refused.
void TrendChartView::saveBitmap(const QString& path) {
    refresh();
    const QImage picture = grab().toImage();
    const LogFileResult r = writeFileAtomically(path, [&picture](QIODevice& out) {
        return picture.save(&out, "BMP")
                   ? LogFileResult::success()
                   : LogFileResult::failure(QStringLiteral("画像を書き出せません"));
    });
    if (!r) {
        throw std::runtime_error(
            QStringLiteral("%1に保存できませんでした。\n%2。").arg(path, r.reason).toStdString());
    }
}

} // namespace velkor
