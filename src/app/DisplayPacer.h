#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace velkor {

class Clock;

// Brings what the window shows up to date with what the frames left, at
// display rate rather than at frame rate: at most once every interval, and
// at once for a frame that comes after a quiet spell (a slow meter feels
// immediate). The frames themselves are decoded, judged, logged and
// charted as they come; only the showing is gathered.
class DisplayPacer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 40;

    // `showAll` brings everything up to date; `clock` gives the time.
    DisplayPacer(const Clock& clock, std::function<void()> showAll, QObject* parent = nullptr);

    // A frame changed what the window shows.
    void frameArrived();
    // Shows what is pending now (a handler that is not on the frame path,
    // or before a message box).
    void showNow();
    // True while a change waits to be shown.
    bool pending() const { return pending_; }

private:
    void show();

    const Clock& clock_;
    std::function<void()> show_;
    QTimer timer_;
    bool pending_ = false;
    bool shownOnce_ = false;
    qint64 lastShownMs_ = 0;
};

} // namespace velkor
