#include "logfiles/xml/XmlErrorTexts.h"

namespace velkor {

QString xmlErrorText(XML_Error code) {
    const char* text = nullptr;
    switch (code) {
    case XML_ERROR_NO_MEMORY: text = "メモリが足りません"; break;
    case XML_ERROR_SYNTAX: text = "構文に誤りがあります"; break;
    case XML_ERROR_NO_ELEMENTS: text = "要素がありません"; break;
    case XML_ERROR_INVALID_TOKEN: text = "使えない文字または記述があります"; break;
    case XML_ERROR_UNCLOSED_TOKEN: text = "記述が閉じていません"; break;
    case XML_ERROR_PARTIAL_CHAR: text = "文字が途中で切れています"; break;
    case XML_ERROR_TAG_MISMATCH: text = "開始タグと終了タグが一致しません"; break;
    case XML_ERROR_DUPLICATE_ATTRIBUTE: text = "同じ属性が二度あります"; break;
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: text = "ルート要素の後に余分な記述があります"; break;
    case XML_ERROR_PARAM_ENTITY_REF:
    case XML_ERROR_UNDEFINED_ENTITY:
    case XML_ERROR_RECURSIVE_ENTITY_REF:
    case XML_ERROR_ASYNC_ENTITY:
    case XML_ERROR_BINARY_ENTITY_REF:
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING:
    case XML_ERROR_ENTITY_DECLARED_IN_PE:
    case XML_ERROR_INCOMPLETE_PE:
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH: text = "定義されていない実体参照があります"; break;
    case XML_ERROR_BAD_CHAR_REF: text = "文字参照が正しくありません"; break;
    case XML_ERROR_MISPLACED_XML_PI: text = "XML 宣言が文書の先頭にありません"; break;
    case XML_ERROR_UNKNOWN_ENCODING: text = "対応していない文字コードです"; break;
    case XML_ERROR_INCORRECT_ENCODING: text = "文字コードが宣言と合いません"; break;
    case XML_ERROR_UNCLOSED_CDATA_SECTION: text = "CDATA セクションが閉じていません"; break;
    case XML_ERROR_NOT_STANDALONE: text = "外部の定義を必要とする文書です"; break;
    case XML_ERROR_UNBOUND_PREFIX: text = "宣言されていない名前空間接頭辞があります"; break;
    case XML_ERROR_UNDECLARING_PREFIX: text = "名前空間接頭辞の宣言を取り消せません"; break;
    case XML_ERROR_XML_DECL:
    case XML_ERROR_TEXT_DECL: text = "XML 宣言が正しくありません"; break;
    case XML_ERROR_PUBLICID: text = "公開識別子が正しくありません"; break;
    case XML_ERROR_RESERVED_PREFIX_XML:
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
    case XML_ERROR_RESERVED_NAMESPACE_URI: text = "予約された名前空間の使い方が正しくありません"; break;
    default: break;
    }
    if (!text) {
        return QStringLiteral("読み取りエラー %1").arg(static_cast<int>(code));
    }
    return QString::fromUtf8(text);
}

} // namespace velkor
