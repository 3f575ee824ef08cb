#pragma once

#include <QString>

namespace velkor {

// What an errno value means, in Japanese, the language of the window and of
// every reason the program gives for a failed file operation. The C
// library's own texts follow the machine's language (English on most), so
// the program keeps its own words for the failures a user meets; any other
// value is named by its symbol (EXDEV). 0 gives an empty text.
QString systemErrorText(int code);

// The reason given for a name that is no regular file (a pipe, a device, a
// folder) where a log, a report or a picture was to be read or written.
QString notRegularFileText();

} // namespace velkor
