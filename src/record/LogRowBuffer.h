#pragma once

#include "record/LogTable.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace velkor {

// The one store of log rows, for the window's table, the files, the report
// and the command line: 32 bytes a row in blocks of 65536 rows (growing
// never copies the rows held), each text once for the whole store, packed
// into large blocks (a byte a character when it is Latin-1), so that a log
// of a million different texts costs tens of bytes a text rather than a
// string object each. The log files gather a file's rows in a store of
// their own before the table takes them, so that a file that fails halfway
// leaves the table as it was. Texts are cut to the field width as the
// table cuts them.
class LogRowBuffer final : public LogTable {
public:
    using Texts = std::array<QStringView, 5>; // Time, DC/AC, Value, Unit, Auto
    using Latin1Texts = std::array<QLatin1String, 5>;

    LogRowBuffer();

    // Adds a row. May throw std::bad_alloc; the rows held stay as they were.
    void append(std::optional<qint32> no, const Texts& texts, std::optional<qint32> nval = {});
    // The same with texts of one byte a character, as a file's plain ASCII
    // values come: held as they are, never widened.
    void append(std::optional<qint32> no, const Latin1Texts& texts,
                std::optional<qint32> nval = {});
    void append(const LogRecord& record);
    // Adds every row of `other` after these; all or none (std::bad_alloc).
    void appendAll(const LogRowBuffer& other);
    // Keeps the first `rows` rows.
    void truncate(qsizetype rows);
    void clear();

    std::optional<qint32> no(qsizetype row) const;
    // Text of field 1-5 (Time, DC/AC, Value, Unit, Auto).
    QString text(qsizetype row, int field) const { return textOf(at(row).text[field - 1]); }

    // The rows as they are held, for writers that treat each distinct text
    // once rather than once a row: the number of a row's text of field 1-5
    // (0 is the empty text; the others count up from 1 as texts came in),
    // the row's NVal, and the characters of a text number, one byte each
    // (Latin-1) or, when `wide`, two bytes each in the machine's order, not
    // aligned.
    struct HeldText {
        const unsigned char* chars;
        qsizetype size;
        bool wide;
    };
    std::uint32_t textNumber(qsizetype row, int field) const { return at(row).text[field - 1]; }
    std::uint32_t textNumbers() const { return static_cast<std::uint32_t>(textAt_.size()); }
    HeldText heldText(std::uint32_t number) const;
    std::optional<qint32> nval(qsizetype row) const;

    // Bytes held for the rows and the texts.
    std::size_t bytes() const;

    qsizetype rowCount() const { return size_; }
    LogRecord row(qsizetype index) const;

    // LogTable
    const LogRowBuffer& store() const override { return *this; }
    void appendRows(const LogRowBuffer& rows) override { appendAll(rows); }
    void replaceRows(LogRowBuffer&& rows) override { *this = std::move(rows); }

private:
    struct Row {
        std::int32_t no;
        std::int32_t nval;
        std::uint32_t text[5];
        std::uint32_t flags; // kHasNo | kHasNVal
    };
    static_assert(sizeof(Row) == 32);
    static constexpr std::uint32_t kHasNo = 1;
    static constexpr std::uint32_t kHasNVal = 2;

    // 65536 rows, two megabytes: a large log's blocks are served by huge
    // pages, which costs a few page faults where small pages cost thousands.
    static constexpr int kBlockShift = 16;
    static constexpr qsizetype kBlockRows = qsizetype(1) << kBlockShift;

    const Row& at(qsizetype row) const {
        return blocks_[static_cast<std::size_t>(row >> kBlockShift)][row & (kBlockRows - 1)];
    }
    void push(const Row& row);
    template <class TextArray>
    void appendRow(std::optional<qint32> no, const TextArray& texts, std::optional<qint32> nval);
    template <class Text> std::uint32_t intern(Text text, int field);
    void growIndex();
    // The text of an id, and whether it is `text`.
    QString textOf(std::uint32_t id) const;
    bool isText(std::uint32_t id, QStringView text) const;
    bool isText(std::uint32_t id, QLatin1String text) const;
    const unsigned char* textBytes(std::uint32_t id) const;
    unsigned char* textRoom(std::size_t need, std::uint64_t* at);
    std::uint32_t store(QStringView text);
    std::uint32_t store(QLatin1String text);
    std::uint32_t stored(std::uint64_t at, std::size_t need, QString&& shared);
    // Whether the next text stored also gets a string object.
    bool sharesNext() const {
        return shared_.size() == textAt_.size() && shared_.size() < kSharedTexts;
    }

    struct FreeBlock {
        void operator()(Row* block) const noexcept;
    };
    std::vector<std::unique_ptr<Row[], FreeBlock>> blocks_;
    qsizetype size_ = 0;
    // The texts: each a length byte (the top bit set when it is held in
    // UTF-16, else one byte a character) and its characters, in blocks
    // that a text never straddles. textAt_[id] is where text id starts;
    // id 0 is the empty text.
    static constexpr std::size_t kTextBlockBytes = std::size_t(1) << 20;
    static constexpr int kTextBlockShift = 20;
    std::vector<std::unique_ptr<unsigned char[]>> textBlocks_;
    std::size_t textBlockUsed_ = kTextBlockBytes;
    std::vector<std::uint64_t> textAt_;
    // The first texts also as string objects, handed out without a copy:
    // a log's texts repeat, so these are nearly all that rows use, while
    // a log of ever new texts keeps the rest packed only.
    static constexpr std::size_t kSharedTexts = std::size_t(1) << 17;
    std::vector<QString> shared_;
    // Open-addressed index of the texts: each slot holds a text's hash in
    // its upper half and its id + 1 in the lower half (0: free), so a
    // lookup rarely touches a text that is not the one sought.
    std::vector<std::uint64_t> index_;
    std::uint32_t last_[5] = {0, 0, 0, 0, 0}; // last text of each field, a cheap first guess
};

// `text` cut to the table's field width (20 characters), never between the
// two halves of a surrogate pair.
QStringView cutToFieldWidth(QStringView text);

} // namespace velkor
