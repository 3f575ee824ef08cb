#include "app/UnsavedRows.h"

#include "platform/MessageBoxes.h"

namespace velkor {

namespace {

QString question(UnsavedRows::Action action, qsizetype rows) {
    const QString unsaved = QStringLiteral("保存されていない記録が%1件あります。").arg(rows);
    switch (action) {
    case UnsavedRows::Action::Closing:
        return unsaved + QStringLiteral("終了する前に保存しますか？");
    case UnsavedRows::Action::Clearing:
        return unsaved + QStringLiteral("データをクリアする前に保存しますか？");
    case UnsavedRows::Action::Opening:
        return unsaved +
               QStringLiteral("ファイルを開くと、今の記録はファイルの記録に置き換わります。"
                              "開く前に保存しますか？");
    }
    return unsaved;
}

} // namespace

UnsavedRows::UnsavedRows(MessageBoxes& boxes, std::function<bool()> save)
    : boxes_(boxes), save_(std::move(save)) {}

bool UnsavedRows::mayDrop(Action action) {
    if (count_ == 0) {
        return true;
    }
    using Answer = MessageBoxes::Answer;
    switch (boxes_.ask(question(action, count_), QStringLiteral("インフォメーション"),
                       MessageBoxes::Icon::Warning,
                       {{Answer::Save, QStringLiteral("保存する(&S)")},
                        {Answer::Discard, QStringLiteral("保存しない(&N)")},
                        {Answer::Cancel, QStringLiteral("キャンセル")}},
                       Answer::Cancel)) {
    case Answer::Save: return save_() && count_ == 0;
    case Answer::Discard: return true;
    default: return false;
    }
}

} // namespace velkor
