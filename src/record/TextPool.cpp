#include "record/TextPool.h"

#include <stdexcept>

namespace velkor {

TextPool::TextPool() : texts_{QString()} {
    index_.insert(QString(), 0);
}

std::uint32_t TextPool::intern(const QString& text) {
    if (text.isEmpty()) {
        return 0;
    }
    const auto it = index_.constFind(text);
    if (it != index_.constEnd()) {
        return it.value();
    }
    if (texts_.size() >= kMaxTexts) {
        throw std::length_error("too many different texts in the log");
    }
    const auto index = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(text);
    try {
        index_.insert(text, index);
    } catch (...) {
        texts_.pop_back();
        throw;
    }
    return index;
}

} // namespace velkor
