#pragma once

#include "record/LogPacketRows.h"

#include <QIODevice>

namespace velkor {

// Reads an XML data packet laid out as this program and the table engine
// write it, straight from its UTF-8 bytes: the declaration, DATAPACKET,
// METADATA with FIELDS and PARAMS, ROWDATA with its ROW elements, white
// space between them, attributes in either quotes with the predefined and
// numeric character references. It makes the same rows as the general
// reader, several times faster. Whatever else a file holds (another
// encoding, a comment, a document type, other elements or text, markup it
// does not take, a value the rows refuse) makes it answer NotOurs at once,
// and the file is then read by the general reader, which takes or refuses
// it with its reason. No entity is expanded, a tag may have at most 256
// attributes and 1 MB, the whole file at most 4 GB.
enum class PacketScan { Read, NotOurs };

PacketScan scanLogPacket(QIODevice& in, LogPacketRows& rows);

} // namespace velkor
