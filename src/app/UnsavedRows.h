#pragma once

#include <QtGlobal>
#include <functional>

namespace velkor {

class MessageBoxes;

// The log's rows that no file holds yet (logged, or given back from a
// journal), and the question asked before an action would drop them: save
// them first, let them go, or keep them and stop the action.
class UnsavedRows {
public:
    // The actions that drop the rows.
    enum class Action { Closing, Clearing, Opening };

    // `save` runs the save command and says whether the log was saved.
    UnsavedRows(MessageBoxes& boxes, std::function<bool()> save);

    void added(qsizetype rows) { count_ += rows; }
    // Every row is in a file now, or gone from the log.
    void none() { count_ = 0; }
    qsizetype count() const { return count_; }

    // Before `action` drops the rows: true when it may go on. With rows
    // unsaved the user is asked; "保存する" saves them first (a cancelled
    // or failed save stops the action), "保存しない" lets them go,
    // "キャンセル" stops. With none, nothing is asked.
    bool mayDrop(Action action);

private:
    MessageBoxes& boxes_;
    std::function<bool()> save_;
    qsizetype count_ = 0;
};

} // namespace velkor
