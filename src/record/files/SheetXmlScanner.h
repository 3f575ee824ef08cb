#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>
#include <span>
#include <vector>

namespace velkor {

// A streaming reader of a UTF-8 XML part made for the worksheet, the one
// large part of a workbook: start tags, end tags and text, with element and
// attribute names without their prefixes (as a namespace-aware reader gives
// local names), comments and processing instructions passed over, CDATA as
// text. It checks what makes a document well formed for these: matching
// tags, one root, attributes given once, the predefined entities and
// character references only (no document type, so no entity expansion),
// valid UTF-8 and XML characters. Its limits are the general reader's:
// attributes and bytes a tag, depth, bytes in all; text comes in pieces of
// bounded size. A part in another encoding is left to the general reader.
class SheetXmlScanner {
public:
    using Source = std::function<qint64(char* buffer, qint64 max)>;

    struct Attribute {
        QStringView name;
        QStringView value;
    };

    enum class Token { Start, End, Text, EndDocument, Invalid, OtherEncoding };

    SheetXmlScanner(Source source, qint64 maxBytes);

    Token next();

    QStringView name() const { return name_; }
    std::span<const Attribute> attributes() const { return attributes_; }
    QStringView text() const { return text_; }

    const QString& error() const { return error_; }
    void fail(const QString& reason);
    qint64 bytesFed() const { return total_; }

private:
    enum class Scan { Done, More, Bad };

    bool more();
    bool prolog();
    Scan tag(const char* p, const char* end, const char** next);
    Scan skip(const char* p, const char* end, const char* close, const char** next);
    Token readText();
    Token malformed(const char* what);
    qint64 offset(const char* p) const { return consumed_ + (p - buf_.constData()); }

    Source source_;
    qint64 maxBytes_;
    QByteArray buf_;
    qsizetype at_ = 0;
    qint64 consumed_ = 0; // bytes dropped from the front of buf_
    qint64 total_ = 0;
    bool ended_ = false;
    bool started_ = false;
    bool rootSeen_ = false;
    bool pendingEnd_ = false; // an empty-element tag's end still to give
    struct Raw {
        const char* name;
        qsizetype nameSize;
        const char* value;
        qsizetype valueSize;
    };
    std::vector<Raw> raws_;
    QByteArray openNames_;              // the open elements' names, one after another
    std::vector<qsizetype> openStarts_; // where each begins
    std::vector<char16_t> scratch_;
    std::vector<Attribute> attributes_;
    QStringView name_;
    QStringView text_;
    QString error_;
};

} // namespace velkor
