#include "link/connection/SerialFailureText.h"

#include "platform/posix/SystemErrorText.h"

namespace velkor {

namespace {

QString parityText(TComPortParity parity) {
    switch (parity) {
    case ptNONE: return QStringLiteral("パリティなし");
    case ptODD: return QStringLiteral("奇数パリティ");
    case ptEVEN: return QStringLiteral("偶数パリティ");
    case ptMARK: return QStringLiteral("マークパリティ");
    case ptSPACE: return QStringLiteral("スペースパリティ");
    }
    return {};
}

QString stopBitsText(TComPortStopBits stopBits) {
    switch (stopBits) {
    case sb1BITS: return QStringLiteral("1");
    case sb1HALFBITS: return QStringLiteral("1.5");
    case sb2BITS: return QStringLiteral("2");
    }
    return {};
}

// "2400 ボー、8 ビット、パリティなし、ストップビット 1"
QString settingsText(const LineSettings& s) {
    return QStringLiteral("%1 ボー、%2 ビット、%3、ストップビット %4")
        .arg(baudOf(s.speed))
        .arg(5 + s.dataBits)
        .arg(parityText(s.parity), stopBitsText(s.stopBits));
}

} // namespace

QString serialFailureText(const SerialPortError& error, const LineSettings& asked) {
    switch (error.fault) {
    case SerialFault::NoDevice:
        return QStringLiteral("このポートに当たるシリアルデバイスがありません");
    case SerialFault::InUse: return QStringLiteral("ほかのプログラムが使用中です");
    case SerialFault::NotSerialPort:
        return QStringLiteral("シリアルポートではありません（%1）")
            .arg(systemErrorText(error.code));
    case SerialFault::LineSetting:
        return QStringLiteral("通信設定（%1）を使えません").arg(settingsText(asked));
    case SerialFault::SendTimedOut: return QStringLiteral("送信できないまま時間切れになりました");
    case SerialFault::System: break;
    }
    return systemErrorText(error.code);
}

} // namespace velkor
