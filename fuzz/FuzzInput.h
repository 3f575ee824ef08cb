#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

namespace velkor::fuzz {

// The fuzzer's bytes as they are.
inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The bytes as words of a command line: split at NUL bytes, each word UTF-8.
inline QStringList wordsOf(const std::uint8_t* data, std::size_t size) {
    QStringList words;
    for (const QByteArray& word : bytesOf(data, size).split('\0')) {
        words << QString::fromUtf8(word);
    }
    return words;
}

// A file of the fuzzer's bytes, for readers that take a file name: one per
// process, written over for each input.
QString writeInputFile(const std::uint8_t* data, std::size_t size, const char* suffix);

} // namespace velkor::fuzz
