#include "logfiles/workbook/ZipArchive.h"

#include "logfiles/workbook/LibraryErrorTexts.h"

#include <QFile>
#include <cerrno>
#include <zip.h>

namespace velkor {

ZipArchive::~ZipArchive() {
    if (archive_) {
        zip_discard(archive_);
    }
}

LogFileResult ZipArchive::open(const QString& fileName) {
    int code = 0;
    errno = 0;
    archive_ = zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive_) {
        const int systemError = errno;
        return LogFileResult::failure(QStringLiteral("ZIP アーカイブとして読めません (%1)")
                                          .arg(zipErrorText(code, systemError)));
    }
    return LogFileResult::success();
}

bool ZipArchive::contains(const QString& entryName) const {
    return archive_ &&
           zip_name_locate(archive_, entryName.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

std::unique_ptr<ZipArchive::Entry> ZipArchive::openEntry(const QString& entryName, qint64 maxBytes,
                                                         QString* error) const {
    const zip_int64_t index =
        zip_name_locate(archive_, entryName.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        *error = QStringLiteral("%1 がありません").arg(entryName);
        return nullptr;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        *error = QStringLiteral("%1 の大きさが分かりません").arg(entryName);
        return nullptr;
    }
    if (st.size > static_cast<zip_uint64_t>(maxBytes)) {
        *error = QStringLiteral("%1 は展開すると %2 MB になり、上限 %3 MB を超えます")
                     .arg(entryName)
                     .arg(st.size >> 20)
                     .arg(maxBytes >> 20);
        return nullptr;
    }
    zip_file* f = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!f) {
        *error = QStringLiteral("%1 を開けません (%2)")
                     .arg(entryName, zipErrorText(*zip_get_error(archive_)));
        return nullptr;
    }
    auto entry = std::unique_ptr<Entry>(new Entry);
    entry->file_ = f;
    entry->claimed_ = static_cast<qint64>(st.size);
    entry->name_ = entryName;
    return entry;
}

ZipArchive::Entry::~Entry() {
    if (file_) {
        zip_fclose(file_);
    }
}

qint64 ZipArchive::Entry::read(char* buffer, qint64 max) {
    // libzip checks the stored checksum at the end but inflates as much as
    // the compressed data gives: an entry that expands beyond the size it
    // claims is refused here.
    const zip_int64_t n = zip_fread(file_, buffer, static_cast<zip_uint64_t>(max));
    if (n < 0) {
        error_ = QStringLiteral("%1 を展開できません (%2)")
                     .arg(name_, zipErrorText(*zip_file_get_error(file_)));
        return -1;
    }
    read_ += n;
    if (read_ > claimed_) {
        error_ = QStringLiteral("%1 は記録された大きさ (%2 バイト) より大きく展開されます")
                     .arg(name_)
                     .arg(claimed_);
        return -1;
    }
    return n;
}

} // namespace velkor
