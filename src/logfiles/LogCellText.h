#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <QTime>
#include <optional>
#include <vector>

namespace velkor {

// A worksheet cell as a spreadsheet holds it: what the log's workbook
// import reads, whatever program wrote the workbook.
struct SheetCell {
    enum class Kind : quint8 { Empty, Number, Text, Boolean, Error };
    Kind kind = Kind::Empty;
    bool dateFormatted = false; // a number shown as a date or a time
    double number = 0;          // Number; Boolean: 1 or 0
    QString text;               // Text; Error: the error's text ("#N/A")

    static SheetCell ofNumber(double v, bool date = false) { return {Kind::Number, date, v, {}}; }
    static SheetCell ofText(QString t) { return {Kind::Text, false, 0, std::move(t)}; }
};

// The value the workbook export writes for one field text: the text as a
// spreadsheet reads what is typed into a cell.
struct WorkbookValue {
    enum class Kind : quint8 { Empty, Number, Time, Text };
    Kind kind = Kind::Empty;
    double number = 0;    // Number; Time: the fraction of the day
    QString text;         // Text: the trimmed text
    const char* format{}; // Time: the number format that shows it as typed

    bool operator==(const WorkbookValue& o) const {
        return kind == o.kind && number == o.number && text == o.text &&
               QLatin1String(format) == QLatin1String(o.format);
    }
};

// The text without the blanks and control characters around it.
QStringView trimmedCellText(QStringView text);

// A decimal integer text, blanks and control characters around it ignored;
// an empty text is null. False when it is no 32-bit integer.
bool integerText(QStringView text, std::optional<qint32>* out);

// A meter's value text as a number, whatever the locale: an optional sign,
// digits with at most one mark, "." or ",", which is the decimal point, and
// an optional exponent ("1.502", "1,502", "-0.0012", "1.5E3"). Blanks and
// control characters around it are ignored. Null for anything else: a
// grouped number ("1.234.5", "1,234.5"), "OL", an empty text.
std::optional<double> valueTextNumber(QStringView text);

// How `text` goes into a cell: empty; a number as valueTextNumber reads it
// ("012.3", "12,3", "-1.5E3" as numbers), the same in every locale; a time
// of day ("09:05:03", "9:05", "9:05:03 PM") as the fraction of the day with
// a time format; else the text.
WorkbookValue workbookValue(QStringView text);

// The locale's long time format without its time-zone field: a time of day
// has no zone ("HH:mm:ss", "h:mm:ss AP").
QString longTimeFormat(const QLocale& locale);

// The conversions of the import, each as the table converts a cell's value
// into a field. They return false with the reason when the value does not
// convert.
class CellConverter {
public:
    explicit CellConverter(const QLocale& locale, bool date1904 = false);

    // Time (field 2): the cell as a date-time, its time of day in the
    // locale's numeric time format (numericTimeFormat). Numbers are
    // date-time serials (whole days and the fraction of the day); texts are
    // read as times of day, also in the locale's long format and in the
    // word forms of Japanese, Chinese and Korean; an empty cell is midnight.
    bool timeText(const SheetCell& cell, QString* out, QString* reason);
    // No (field 1): whole numbers; others round to the nearest, halves to
    // even; texts in decimal; empty is null.
    bool integer(const SheetCell& cell, std::optional<qint32>* out, QString* reason) const;
    // A text field: texts as they are, numbers in the locale's notation
    // with up to 15 significant digits, dates and times in the locale's
    // short date and numeric time formats, TRUE/FALSE as "True"/"False".
    bool text(const SheetCell& cell, QString* out, QString* reason) const;

private:
    QString timeOfDayText(QTime time);
    QString numberText(double v) const;

    QLocale locale_;
    bool date1904_;
    QString timeFormat_;
    bool cacheBySecond_;             // the format shows no fraction of a second
    std::vector<QString> timeCache_; // by second of the day, filled as met
    bool plainDigits_;               // the locale writes numbers as C does, but its decimal point
    QChar decimalPoint_;
};

// The time of day of a date-time serial (days since 30 December 1899).
QTime serialTimeOfDay(double serial);

} // namespace velkor
