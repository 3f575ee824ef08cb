#include "logfiles/xml/XmlReader.h"

#include "logfiles/xml/XmlEncodings.h"
#include "logfiles/xml/XmlErrorTexts.h"

#include <expat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velkor {

namespace {

// The separator expat puts between a namespace's URI and a local name: a
// byte no name can hold.
constexpr char kNamespaceSeparator = '\x01';
// Slices handed to the parser. Large, since expat scans a token that spans
// slices again from its start with every slice.
constexpr int kSliceBytes = 1 << 20;

// The parser's memory, counted against a budget: expat's allocation calls
// carry no context, so the budget of the reader at work is a thread-local
// set around every call into expat.
struct Budget {
    qint64 limit = 0;
    qint64 used = 0;
    bool exceeded = false;
};
thread_local Budget* tBudget = nullptr;

struct alignas(16) BlockHeader {
    std::size_t size;
};

void* budgetMalloc(std::size_t n) {
    Budget* b = tBudget;
    if (b && b->used + static_cast<qint64>(n) > b->limit) {
        b->exceeded = true;
        return nullptr;
    }
    auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + n));
    if (!h) {
        return nullptr;
    }
    h->size = n;
    if (b) {
        b->used += static_cast<qint64>(n);
    }
    return h + 1;
}

void budgetFree(void* p) {
    if (!p) {
        return;
    }
    BlockHeader* h = static_cast<BlockHeader*>(p) - 1;
    if (tBudget) {
        tBudget->used -= static_cast<qint64>(h->size);
    }
    std::free(h);
}

void* budgetRealloc(void* p, std::size_t n) {
    if (!p) {
        return budgetMalloc(n);
    }
    BlockHeader* h = static_cast<BlockHeader*>(p) - 1;
    const auto old = static_cast<qint64>(h->size);
    Budget* b = tBudget;
    if (b && b->used - old + static_cast<qint64>(n) > b->limit) {
        b->exceeded = true;
        return nullptr;
    }
    auto* grown = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + n));
    if (!grown) {
        return nullptr;
    }
    grown->size = n;
    if (b) {
        b->used += static_cast<qint64>(n) - old;
    }
    return grown + 1;
}

const XML_Memory_Handling_Suite kBudgetedMemory = {budgetMalloc, budgetRealloc, budgetFree};

// Makes `budget` the one expat's calls are counted against while it lives.
class BudgetScope {
public:
    explicit BudgetScope(Budget* budget) : previous_(tBudget) { tBudget = budget; }
    ~BudgetScope() { tBudget = previous_; }
    BudgetScope(const BudgetScope&) = delete;
    BudgetScope& operator=(const BudgetScope&) = delete;

private:
    Budget* previous_;
};

// "URI<separator>local" or "local": the separator is sought from the end,
// as local names are short and URIs long.
XmlName splitName(const XML_Char* name) {
    const std::size_t length = std::strlen(name);
    for (std::size_t i = length; i-- > 0;) {
        if (name[i] == kNamespaceSeparator) {
            return {std::string_view(name + i + 1, length - i - 1), std::string_view(name, i)};
        }
    }
    return {std::string_view(name, length), {}};
}

} // namespace

struct XmlReader::State {
    XmlLimits limits;
    Budget budget;
    XML_Parser parser = nullptr;
    XmlContentHandler* handler = nullptr;
    XmlReader* owner = nullptr;
    std::vector<XmlAttribute> attributes;
    QString error;
    bool done = false; // failed or stopped
    bool stopped = false;
    qint64 fed = 0;
    qint64 taken = 0; // bytes of the document up to the end of the last event
    int depth = 0;
    bool rootClosed = false;

    // Where the parser is, for a reason.
    QString place() const {
        return QStringLiteral(" (行 %1, 列 %2)")
            .arg(XML_GetCurrentLineNumber(parser))
            .arg(XML_GetCurrentColumnNumber(parser));
    }

    void fail(const QString& reason) {
        if (!done) {
            error = reason + place();
            done = true;
        }
        XML_StopParser(parser, XML_FALSE);
    }

    // The end of the event being reported: what the parser has taken whole.
    void noteEvent() {
        taken = XML_GetCurrentByteIndex(parser) + XML_GetCurrentByteCount(parser);
    }

    static void onStart(void* data, const XML_Char* name, const XML_Char** atts) {
        auto* s = static_cast<State*>(data);
        if (s->done) {
            return;
        }
        s->noteEvent();
        if (++s->depth > s->limits.maxDepth) {
            s->fail(QStringLiteral("入れ子が深すぎます (上限 %1)").arg(s->limits.maxDepth));
            return;
        }
        s->attributes.clear();
        for (const XML_Char** a = atts; *a; a += 2) {
            if (static_cast<int>(s->attributes.size()) >= s->limits.maxAttributes) {
                s->fail(QStringLiteral("属性が多すぎます (上限 %1, %2 バイト目)")
                            .arg(s->limits.maxAttributes)
                            .arg(XML_GetCurrentByteIndex(s->parser)));
                return;
            }
            s->attributes.push_back({splitName(a[0]), std::string_view(a[1])});
        }
        if (XML_GetCurrentByteCount(s->parser) > s->limits.maxTagBytes) {
            s->fail(QStringLiteral("タグが大きすぎます (上限 %1 KB, %2 バイト目)")
                        .arg(s->limits.maxTagBytes >> 10)
                        .arg(XML_GetCurrentByteIndex(s->parser)));
            return;
        }
        if (!s->handler->startElement(*s->owner, splitName(name), s->attributes)) {
            s->handlerStopped();
        }
    }

    static void onEnd(void* data, const XML_Char* name) {
        auto* s = static_cast<State*>(data);
        if (s->done) {
            return;
        }
        s->noteEvent();
        if (--s->depth == 0) {
            s->rootClosed = true;
        }
        if (!s->handler->endElement(*s->owner, splitName(name))) {
            s->handlerStopped();
        }
    }

    static void onCharacters(void* data, const XML_Char* text, int length) {
        auto* s = static_cast<State*>(data);
        if (s->done) {
            return;
        }
        s->noteEvent();
        if (!s->handler->characters(
                *s->owner, std::string_view(text, static_cast<std::size_t>(length)))) {
            s->handlerStopped();
        }
    }

    // Comments and processing instructions are passed over; they only move
    // the reading on.
    static void onComment(void* data, const XML_Char*) { static_cast<State*>(data)->noteEvent(); }
    static void onProcessingInstruction(void* data, const XML_Char*, const XML_Char*) {
        static_cast<State*>(data)->noteEvent();
    }

    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<State*>(data)->fail(QStringLiteral("文書型宣言は受け付けません"));
    }

    // A handler said stop: with its reason, or as a success.
    void handlerStopped() {
        if (!done) {
            fail(QStringLiteral("読み込みを中止しました"));
        }
        XML_StopParser(parser, XML_FALSE);
    }

    // The parser's own error, in words.
    void parserFailed(bool sourceEnded) {
        if (done) {
            return;
        }
        const XML_Error code = XML_GetErrorCode(parser);
        if (budget.exceeded || code == XML_ERROR_NO_MEMORY) {
            fail(QStringLiteral("XML の読み込みに使えるメモリ (%1 MB) を超えました")
                     .arg(limits.maxParserBytes >> 20));
            return;
        }
        const bool cutShort = code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                              code == XML_ERROR_PARTIAL_CHAR ||
                              code == XML_ERROR_UNCLOSED_CDATA_SECTION;
        if (sourceEnded && cutShort && !rootClosed) {
            fail(QStringLiteral("ファイルが途中で終わっています"));
            return;
        }
        fail(QStringLiteral("XML の形式が正しくありません: %1").arg(xmlErrorText(code)));
    }
};

XmlReader::XmlReader(XmlLimits limits) : s_(std::make_unique<State>()) {
    s_->limits = limits;
    s_->budget.limit = limits.maxParserBytes;
    s_->owner = this;
}

XmlReader::~XmlReader() {
    if (s_->parser) {
        BudgetScope scope(&s_->budget);
        XML_ParserFree(s_->parser);
    }
}

void XmlReader::fail(const QString& reason) {
    s_->fail(reason);
}

void XmlReader::stop() {
    if (!s_->done) {
        s_->done = true;
        s_->stopped = true;
    }
    XML_StopParser(s_->parser, XML_FALSE);
}

qint64 XmlReader::bytesFed() const {
    return s_->fed;
}

int XmlReader::depth() const {
    return s_->depth;
}

LogFileResult XmlReader::read(const Source& source, XmlContentHandler& handler) {
    State& s = *s_;
    BudgetScope scope(&s.budget);
    const XML_Char separator[] = {kNamespaceSeparator, 0};
    s.parser = XML_ParserCreate_MM(nullptr, &kBudgetedMemory, separator);
    if (!s.parser) {
        return LogFileResult::failure(QStringLiteral("メモリが足りません"));
    }
    s.handler = &handler;
    XML_SetUserData(s.parser, &s);
    XML_SetElementHandler(s.parser, State::onStart, State::onEnd);
    XML_SetCharacterDataHandler(s.parser, State::onCharacters);
    XML_SetCommentHandler(s.parser, State::onComment);
    XML_SetProcessingInstructionHandler(s.parser, State::onProcessingInstruction);
    XML_SetStartDoctypeDeclHandler(s.parser, State::onDoctype);
    XML_SetParamEntityParsing(s.parser, XML_PARAM_ENTITY_PARSING_NEVER);
    installUnknownEncodings(s.parser);

    bool ended = false;
    while (!s.done) {
        void* room = XML_GetBuffer(s.parser, kSliceBytes);
        if (!room) {
            s.parserFailed(false);
            break;
        }
        // The slice is filled whole before the parser sees it, however the
        // source hands its bytes over: the parser scans an unfinished token
        // again from its start with every call, so a source trickling a byte
        // at a time must not cost it a scan per byte.
        qint64 n = 0;
        for (qint64 got = 1; got > 0 && n < kSliceBytes;) {
            got = source(static_cast<char*>(room) + n, kSliceBytes - n);
            n += std::max<qint64>(got, 0);
            if (got < 0) {
                n = -1;
                break;
            }
        }
        if (n < 0) {
            s.fail(QStringLiteral("読み込みに失敗しました"));
            break;
        }
        ended = n == 0;
        s.fed += n;
        if (s.fed > s.limits.maxBytes) {
            s.fail(QStringLiteral("大きすぎます (上限 %1 MB)").arg(s.limits.maxBytes >> 20));
            break;
        }
        if (XML_ParseBuffer(s.parser, static_cast<int>(n), ended) == XML_STATUS_ERROR) {
            s.parserFailed(ended);
            break;
        }
        if (ended) {
            break;
        }
        if (s.fed - s.taken > s.limits.maxTokenBytes) {
            s.fail(QStringLiteral("要素またはテキストが大きすぎます (上限 %1 MB)")
                       .arg(s.limits.maxTokenBytes >> 20));
        }
    }
    if (s.stopped) {
        return LogFileResult::success();
    }
    if (s.done) {
        return LogFileResult::failure(s.error);
    }
    return LogFileResult::success();
}

} // namespace velkor
