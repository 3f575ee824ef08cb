#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

namespace velkor {

// Texts held once each and named by a 32-bit index: the function, unit and
// judgement texts of a log repeat endlessly, so a row keeps indexes instead
// of strings. Index 0 is the empty text.
class TextPool {
public:
    // At most 2^31 - 1 texts, so that an index leaves the top bit free.
    static constexpr std::size_t kMaxTexts = 0x7FFFFFFF;

    TextPool();

    // The index of `text`, adding it when it is new.
    std::uint32_t intern(const QString& text);
    const QString& text(std::uint32_t index) const { return texts_[index]; }
    std::size_t size() const { return texts_.size(); }

private:
    std::vector<QString> texts_;
    QHash<QString, std::uint32_t> index_;
};

} // namespace velkor
