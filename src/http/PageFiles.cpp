#include "http/PageFiles.h"

#include <cstddef>
#include <iterator>

// Written at build time from page/ (EmbedFiles.cmake).
namespace velkor::http::embedded {
extern const char index_html[];
extern const std::size_t index_html_size;
extern const char velkor_js[];
extern const std::size_t velkor_js_size;
extern const char velkor_css[];
extern const std::size_t velkor_css_size;
} // namespace velkor::http::embedded

namespace velkor::http {

namespace {

namespace e = embedded;

const PageFile kFiles[] = {
    {"/", "text/html; charset=utf-8",
     QByteArrayView(e::index_html, static_cast<qsizetype>(e::index_html_size))},
    {"/velkor.js", "text/javascript; charset=utf-8",
     QByteArrayView(e::velkor_js, static_cast<qsizetype>(e::velkor_js_size))},
    {"/velkor.css", "text/css; charset=utf-8",
     QByteArrayView(e::velkor_css, static_cast<qsizetype>(e::velkor_css_size))},
};

} // namespace

const PageFile* pageFile(QByteArrayView route) {
    for (const PageFile& f : kFiles) {
        if (route == f.path) {
            return &f;
        }
    }
    return nullptr;
}

} // namespace velkor::http
