#pragma once

#include <QByteArrayView>

namespace velkor::http {

// The page's own files, built into the program: the page, its script and
// its style. Nothing is read from a path a request names.
struct PageFile {
    const char* path; // the route
    const char* contentType;
    QByteArrayView body;
};

// The page files; nothing for a route that is none of them.
const PageFile* pageFile(QByteArrayView route);

} // namespace velkor::http
