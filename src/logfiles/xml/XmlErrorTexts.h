#pragma once

#include <QString>
#include <expat.h>

namespace velkor {

// What went wrong in a document, in the program's language, for each error
// the XML parser reports.
QString xmlErrorText(XML_Error code);

} // namespace velkor
