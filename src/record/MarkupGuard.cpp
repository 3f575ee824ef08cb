#include "record/MarkupGuard.h"

#include <cstring>

namespace velkor {

namespace {
constexpr char kCData[] = "[CDATA[";
constexpr int kCDataLength = 7;
} // namespace

MarkupGuard::Verdict MarkupGuard::scan(const char* data, qint64 size) {
    const char* p = data;
    const char* const end = data + size;
    const qint64 base = offset_;
    auto at = [&](const char* q) { return base + (q - data); };
    while (p < end) {
        switch (state_) {
        case State::Text: {
            const void* lt = std::memchr(p, '<', static_cast<std::size_t>(end - p));
            if (!lt) {
                p = end;
                break;
            }
            p = static_cast<const char*>(lt) + 1;
            state_ = State::Open;
            tagBytes_ = 1;
            break;
        }
        case State::Open: {
            const char c = *p++;
            ++tagBytes_;
            if (c == '!') {
                state_ = State::Bang;
                bangMatched_ = 0;
                bangComment_ = true;
                bangCData_ = true;
            } else if (c == '?') {
                state_ = State::Pi;
                run_ = 0;
            } else {
                state_ = c == '>' ? State::Text : State::Tag;
                startTag_ = c != '/';
                attributes_ = 0;
            }
            break;
        }
        case State::Bang: {
            const char c = *p++;
            ++tagBytes_;
            bangComment_ = bangComment_ && bangMatched_ < 2 && c == '-';
            bangCData_ = bangCData_ && bangMatched_ < kCDataLength && c == kCData[bangMatched_];
            ++bangMatched_;
            if (bangComment_ && bangMatched_ == 2) {
                state_ = State::Comment;
                run_ = 0;
            } else if (bangCData_ && bangMatched_ == kCDataLength) {
                state_ = State::CData;
                run_ = 0;
            } else if (!bangComment_ && !bangCData_) {
                // A declaration: scanned as a tag whose attributes do not count.
                startTag_ = false;
                state_ = c == '>'                ? State::Text
                         : c == '"' || c == '\'' ? State::Quoted
                                                 : State::Tag;
                quote_ = c;
            }
            break;
        }
        case State::Tag: {
            const char c = *p++;
            if (++tagBytes_ > maxTagBytes_) {
                offset_ = at(p);
                return Verdict::TagTooLarge;
            }
            if (c == '>') {
                state_ = State::Text;
            } else if (c == '"' || c == '\'') {
                state_ = State::Quoted;
                quote_ = c;
            } else if (c == '=' && startTag_ && ++attributes_ > maxAttributes_) {
                offset_ = at(p);
                return Verdict::TooManyAttributes;
            }
            break;
        }
        case State::Quoted: {
            const qint64 room = maxTagBytes_ - tagBytes_;
            const qint64 span = std::min<qint64>(end - p, room + 1);
            const void* q = std::memchr(p, quote_, static_cast<std::size_t>(span));
            const char* next = q ? static_cast<const char*>(q) + 1 : p + span;
            tagBytes_ += next - p;
            p = next;
            if (tagBytes_ > maxTagBytes_) {
                offset_ = at(p);
                return Verdict::TagTooLarge;
            }
            if (q) {
                state_ = State::Tag;
            }
            break;
        }
        case State::Comment:
        case State::CData:
        case State::Pi: {
            const char close = state_ == State::Comment ? '-' : state_ == State::CData ? ']' : '?';
            const int needed = state_ == State::Pi ? 1 : 2;
            const char c = *p++;
            if (c == '>' && run_ >= needed) {
                state_ = State::Text;
            } else if (c == close) {
                ++run_;
            } else {
                run_ = 0;
            }
            break;
        }
        }
    }
    offset_ = base + size;
    return Verdict::Ok;
}

} // namespace velkor
