#include "platform/posix/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace velkor {

namespace {

const char16_t* meaning(int code) {
    switch (code) {
    case EPERM: return u"操作が許可されていません";
    case ENOENT: return u"ファイルまたはフォルダがありません";
    case EINTR: return u"割り込みで中断されました";
    case EIO: return u"入出力エラーが起きました";
    case ENXIO: return u"デバイスが応答しません";
    case EBADF: return u"ファイルが開かれていません";
    case EAGAIN: return u"いまは使えません。しばらくしてから試してください";
    case ENOMEM: return u"メモリが足りません";
    case EACCES: return u"アクセス権がありません";
    case EBUSY: return u"デバイスが使用中です";
    case EEXIST: return u"同じ名前のファイルがすでにあります";
    case EXDEV: return u"別のファイルシステムへは移せません";
    case ENODEV: return u"デバイスがありません";
    case ENOTDIR: return u"途中の名前がフォルダではありません";
    case EISDIR: return u"フォルダです";
    case EINVAL: return u"指定が正しくありません";
    case ENFILE: return u"システム全体で開いているファイルが多すぎます";
    case EMFILE: return u"開いているファイルが多すぎます";
    case ENOTTY: return u"このデバイスではできない操作です";
    case ETXTBSY: return u"ファイルが実行中です";
    case EFBIG: return u"ファイルが大きすぎます";
    case ENOSPC: return u"ディスクに空きがありません";
    case ESPIPE: return u"位置を移動できません";
    case EROFS: return u"読み取り専用のファイルシステムです";
    case EMLINK: return u"リンクが多すぎます";
    case EPIPE: return u"書き込み先が閉じられました";
    case ENAMETOOLONG: return u"名前が長すぎます";
    case ENOLCK: return u"ロックを使えません";
    case ENOSYS: return u"この機能はシステムにありません";
    case ENOTEMPTY: return u"フォルダが空ではありません";
    case ELOOP: return u"シンボリックリンクが多すぎるか、循環しています";
    case EOVERFLOW: return u"値が大きすぎます";
    case EILSEQ: return u"文字コードが正しくありません";
    case ENOBUFS: return u"バッファが足りません";
    case EOPNOTSUPP: return u"この操作には対応していません";
    case ENETUNREACH: return u"ネットワークに到達できません";
    case ECONNRESET: return u"接続が相手側から切られました";
    case ETIMEDOUT: return u"時間内に応答がありません";
    case ECONNREFUSED: return u"接続を拒否されました";
    case EHOSTUNREACH: return u"ホストに到達できません";
    case ESTALE: return u"ネットワーク上のファイルが無効になりました";
    case EDQUOT: return u"ディスク使用量の上限を超えました";
    case ECANCELED: return u"操作が取り消されました";
    case ENOMEDIUM: return u"メディアが入っていません";
    default: return nullptr;
    }
}

} // namespace

QString systemErrorText(int code) {
    if (code == 0) {
        return {};
    }
    if (const char16_t* text = meaning(code)) {
        return QString::fromUtf16(text);
    }
    if (const char* name = strerrorname_np(code)) {
        return QStringLiteral("システムエラー %1").arg(QLatin1String(name));
    }
    return QStringLiteral("システムエラー %1").arg(code);
}

QString notRegularFileText() {
    return QStringLiteral("通常のファイルではありません");
}

} // namespace velkor
