#pragma once

#include "disk/LogFileResult.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QIODevice>
#include <QString>

namespace velkor {

// The log as the in-memory table engine's XML data packet:
//
//   <?xml version="1.0" standalone="yes"?>
//   <DATAPACKET Version="2.0"><METADATA><FIELDS>
//     <FIELD attrname="No" fieldtype="i4"/>
//     <FIELD attrname="Time" fieldtype="string" WIDTH="20"/>
//     <FIELD fieldname="DC/AC" attrname="DC_AC" fieldtype="string" WIDTH="20"/>
//     ... Value, Unit, Auto as Time; <FIELD attrname="NVal" fieldtype="i4"/>
//   </FIELDS><PARAMS/></METADATA><ROWDATA>
//     <ROW No="1" Time="09:05:03" DC_AC="DC" Value="012.3" Unit="V" Auto="pass"/>
//   </ROWDATA></DATAPACKET>
//
// A row holds each field as an attribute named by the field's attrname; a
// null field (NVal, and as the engine keeps them, empty texts) is left out.
// A field name that is no XML name ("DC/AC") is given in fieldname, with an
// attrname made of it. The packet is written in UTF-8 on one line, as the
// engine writes it.
//
// Reading takes packets of the engine's other users too: attributes in any
// order, any white space, field names without regard to case, extra fields
// (ignored), an encoding declaration, a change log (RowState: deleted rows
// left out, a modified row's new values laid over its original).

// Writes the packet; the file is replaced only when all of it is written.
LogFileResult saveLogXml(const LogTable& table, const QString& fileName);
LogFileResult writeLogXml(const LogTable& table, QIODevice& out);

// Reads a packet into `rows` (cleared first). On failure `rows` is cleared.
LogFileResult readLogXml(QIODevice& in, LogRowBuffer& rows);
// Reads the file and, only when all of it has been read, replaces the
// table's rows with the file's. On failure the table keeps its rows.
LogFileResult loadLogXml(const QString& fileName, LogTable& table);

// The attribute name under which a field is written: the name itself when
// it is an XML name, else the name with every other character turned into
// "_" ("DC/AC" -> "DC_AC").
QString xmlAttributeName(const QString& fieldName);

// Rows a packet may hold.
inline constexpr qsizetype kMaxXmlLogRows = qsizetype(16) << 20;

} // namespace velkor
