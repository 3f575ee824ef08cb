#include "record/BoundedXmlReader.h"

namespace velkor {

namespace {
constexpr qint64 kChunkBytes = 1 << 20;
}

BoundedXmlReader::BoundedXmlReader(Source source, Limits limits)
    : source_(std::move(source)), limits_(limits),
      guard_(limits.maxAttributes, limits.maxTagBytes) {
    xml_.setNamespaceProcessing(true);
}

void BoundedXmlReader::fail(const QString& reason) {
    if (error_.isEmpty()) {
        error_ = QStringLiteral("%1 (行 %2, 列 %3)")
                     .arg(reason)
                     .arg(xml_.lineNumber())
                     .arg(xml_.columnNumber());
    }
}

bool BoundedXmlReader::feed() {
    if (fedSinceToken_ > limits_.maxTokenBytes) {
        fail(QStringLiteral("要素またはテキストが大きすぎます (上限 %1 MB)")
                 .arg(limits_.maxTokenBytes >> 20));
        return false;
    }
    chunk_.resize(kChunkBytes);
    const qint64 n = source_(chunk_.data(), kChunkBytes);
    if (n < 0) {
        fail(QStringLiteral("読み込みに失敗しました"));
        return false;
    }
    if (n == 0) {
        sourceEnded_ = true;
        return false;
    }
    fedTotal_ += n;
    fedSinceToken_ += n;
    if (fedTotal_ > limits_.maxBytes) {
        fail(QStringLiteral("大きすぎます (上限 %1 MB)").arg(limits_.maxBytes >> 20));
        return false;
    }
    switch (guard_.scan(chunk_.constData(), n)) {
    case MarkupGuard::Verdict::Ok: break;
    case MarkupGuard::Verdict::TooManyAttributes:
        error_ = QStringLiteral("属性が多すぎます (上限 %1, %2 バイト目)")
                     .arg(limits_.maxAttributes)
                     .arg(guard_.offset());
        return false;
    case MarkupGuard::Verdict::TagTooLarge:
        error_ = QStringLiteral("タグが大きすぎます (上限 %1 KB, %2 バイト目)")
                     .arg(limits_.maxTagBytes >> 10)
                     .arg(guard_.offset());
        return false;
    }
    chunk_.truncate(n);
    xml_.addData(chunk_);
    return true;
}

QXmlStreamReader::TokenType BoundedXmlReader::readNext() {
    if (!error_.isEmpty()) {
        return QXmlStreamReader::Invalid;
    }
    for (;;) {
        const auto token = xml_.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && !sourceEnded_) {
                if (feed()) {
                    continue;
                }
                if (!error_.isEmpty()) {
                    return QXmlStreamReader::Invalid;
                }
            }
            if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && sourceEnded_) {
                if (rootClosed_) {
                    return QXmlStreamReader::EndDocument;
                }
                fail(QStringLiteral("ファイルが途中で終わっています"));
                return QXmlStreamReader::Invalid;
            }
            fail(QStringLiteral("XML の形式が正しくありません: %1").arg(xml_.errorString()));
            return QXmlStreamReader::Invalid;
        }
        fedSinceToken_ = 0;
        switch (token) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            fail(QStringLiteral("文書型宣言は受け付けません"));
            return QXmlStreamReader::Invalid;
        case QXmlStreamReader::StartElement:
            if (++depth_ > limits_.maxDepth) {
                fail(QStringLiteral("入れ子が深すぎます (上限 %1)").arg(limits_.maxDepth));
                return QXmlStreamReader::Invalid;
            }
            if (xml_.attributes().size() > limits_.maxAttributes) {
                fail(QStringLiteral("属性が多すぎます (上限 %1)").arg(limits_.maxAttributes));
                return QXmlStreamReader::Invalid;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (--depth_ == 0) {
                rootClosed_ = true;
            }
            break;
        default: break;
        }
        return token;
    }
}

} // namespace velkor
