#include "logfiles/workbook/LibraryErrorTexts.h"

namespace velkor {

namespace {

// "What happened (the system's reason)", or what happened alone.
QString withReason(const QString& what, int systemError) {
    if (systemError == 0) {
        return what;
    }
    return QStringLiteral("%1 (%2)").arg(what, systemErrorText(systemError));
}

} // namespace

QString workbookWriteErrorText(lxw_error error, int systemError) {
    switch (error) {
    case LXW_NO_ERROR: return QString();
    case LXW_ERROR_MEMORY_MALLOC_FAILED: return QStringLiteral("メモリが足りません");
    case LXW_ERROR_CREATING_XLSX_FILE:
        return withReason(QStringLiteral("ファイルを作成できません"), systemError);
    case LXW_ERROR_CREATING_TMPFILE:
        return withReason(QStringLiteral("一時ファイルを作成できません"), systemError);
    case LXW_ERROR_READING_TMPFILE:
        return withReason(QStringLiteral("一時ファイルを読めません"), systemError);
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return withReason(QStringLiteral("ファイルに書き込めません"), systemError);
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
        return QStringLiteral("ワークブックが大きすぎて書き出せません");
    default:
        return QStringLiteral("ワークブックを書き出せません (libxlsxwriter のエラー %1)")
            .arg(static_cast<int>(error));
    }
}

QString zipErrorText(const zip_error_t& error) {
    zip_error_t copy = error;
    const int system =
        zip_error_system_type(&copy) == ZIP_ET_SYS ? zip_error_code_system(&copy) : 0;
    return zipErrorText(zip_error_code_zip(&copy), system);
}

QString zipErrorText(int zipCode, int systemError) {
    switch (zipCode) {
    case ZIP_ER_OK: return QString();
    case ZIP_ER_NOZIP: return QStringLiteral("ZIP 形式ではありません");
    case ZIP_ER_INCONS: return QStringLiteral("ZIP アーカイブの中身が矛盾しています");
    case ZIP_ER_MULTIDISK: return QStringLiteral("分割された ZIP アーカイブには対応していません");
    case ZIP_ER_NOENT: return QStringLiteral("ファイルがありません");
    case ZIP_ER_OPEN: return withReason(QStringLiteral("ファイルを開けません"), systemError);
    case ZIP_ER_READ: return withReason(QStringLiteral("読み込めません"), systemError);
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL: return withReason(QStringLiteral("ファイル内を移動できません"), systemError);
    case ZIP_ER_MEMORY: return QStringLiteral("メモリが足りません");
    case ZIP_ER_CRC: return QStringLiteral("データが壊れています (CRC が一致しません)");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA: return QStringLiteral("圧縮されたデータが壊れています");
    case ZIP_ER_EOF: return QStringLiteral("ファイルが途中で終わっています");
    case ZIP_ER_COMPNOTSUPP: return QStringLiteral("対応していない圧縮方式です");
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return QStringLiteral("暗号化されたファイルは読めません");
    default: return withReason(QStringLiteral("ZIP エラー %1").arg(zipCode), systemError);
    }
}

} // namespace velkor
