#pragma once

#include "logfiles/xml/XmlReader.h"
#include "record/LogRowBuffer.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringView>
#include <span>
#include <unordered_map>
#include <vector>

namespace velkor {

// Whether an element or attribute name is `name`, ASCII letters compared
// without regard to case, as the table engine looks names up.
bool isNameIgnoringCase(std::string_view given, std::string_view name);

// What the FIELD and ROW elements of an XML data packet make of the log:
// the fields by name (without regard to case, extra ones ignored), then each
// row's attributes by the fields' attribute names, with the change log
// applied (deleted rows left out, a modified row's new values laid over the
// row before).
class LogPacketRows {
public:
    explicit LogPacketRows(LogRowBuffer& rows) : rows_(rows) {}

    // A FIELD element. False, with the reason, when it is refused.
    bool addField(std::span<const XmlAttribute> attributes, QString* error);
    // Whether any field was given or the fields were already settled.
    bool hasFields() const { return resolved_ || !fields_.empty(); }
    bool resolved() const { return resolved_; }
    // Settles the fields before the first row: every field of the log but
    // NVal must be there.
    bool resolve(QString* error);
    // A ROW element (the fields settled first when they are not yet).
    bool addRow(std::span<const XmlAttribute> attributes, QString* error);

private:
    struct Attribute {
        QStringView name;
        QStringView value;
    };
    // An attribute whose name and value are plain ASCII, as nearly every
    // one in a log is: taken without widening it.
    struct AsciiAttribute {
        QLatin1String name;
        QLatin1String value;
    };

    struct Field {
        QString attrName;     // the ROW attribute that holds it
        QByteArray asciiName; // the same when it is plain ASCII, else empty
        int target = -1;      // the table field it feeds, or -1
    };
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(QStringView v) const noexcept { return qHash(v); }
    };
    struct ViewEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
    };

    int fieldOfAttribute(QStringView attr, qsizetype position) const;
    int fieldOfAttribute(QLatin1String attr, qsizetype position) const;
    template <class Attr> bool addRowOf(std::span<const Attr> attributes, QString* error);

    LogRowBuffer& rows_;
    std::vector<Field> fields_;
    std::unordered_map<QString, int, ViewHash, ViewEqual> byAttr_;
    bool resolved_ = false;
    bool lastDeleted_ = false;
    // Room for a row's attributes in either form, kept from row to row.
    std::vector<AsciiAttribute> ascii_;
    std::vector<QString> wideTexts_;
    std::vector<Attribute> wide_;
};

} // namespace velkor
