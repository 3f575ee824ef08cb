#include "http/RowHandOff.h"

#include <QTimeZone>
#include <algorithm>
#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velkor::http {

namespace {

void pack(PackedRow::Text& to, const QString& text) {
    const qsizetype n = std::min<qsizetype>(text.size(), kLogTextFieldWidth);
    to.size = static_cast<quint8>(n);
    std::copy_n(text.utf16(), n, to.chars);
}

QString unpack(const PackedRow::Text& text) {
    return QString(reinterpret_cast<const QChar*>(text.chars), text.size);
}

} // namespace

PackedRow packRow(const LiveRow& live) {
    PackedRow p;
    p.hasNo = live.row.No.has_value();
    p.no = live.row.No.value_or(0);
    p.hasMoment = live.moment.isValid();
    if (p.hasMoment) {
        p.msecs = live.moment.toMSecsSinceEpoch();
        p.offset = live.moment.offsetFromUtc();
    }
    pack(p.time, live.row.Time);
    pack(p.function, live.row.DCAC);
    pack(p.value, live.row.Value);
    pack(p.unit, live.row.Unit);
    pack(p.judge, live.row.Auto);
    pack(p.mark, live.marks.isEmpty() ? QString() : live.marks.first());
    return p;
}

LiveRow unpackRow(const PackedRow& p) {
    LiveRow live;
    if (p.hasNo) {
        live.row.No = p.no;
    }
    live.row.Time = unpack(p.time);
    live.row.DCAC = unpack(p.function);
    live.row.Value = unpack(p.value);
    live.row.Unit = unpack(p.unit);
    live.row.Auto = unpack(p.judge);
    if (p.hasMoment) {
        live.moment = QDateTime::fromMSecsSinceEpoch(p.msecs, QTimeZone(p.offset));
    }
    if (p.mark.size > 0) {
        live.marks = {unpack(p.mark)};
    }
    return live;
}

RowHandOff::RowHandOff(std::size_t capacity) : slots_(std::max<std::size_t>(capacity, 1)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

RowHandOff::~RowHandOff() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void RowHandOff::wake() {
    if (wakeFd_ < 0 || !wakeArmed_.exchange(false)) {
        return; // the server is woken already
    }
    const std::uint64_t one = 1;
    // Non-blocking: a counter at its maximum already wakes the server.
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool RowHandOff::tryPush(const Slot& slot) {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= slots_.size()) {
        return false;
    }
    slots_[tail % slots_.size()] = slot;
    tail_.store(tail + 1, std::memory_order_release);
    wake();
    return true;
}

void RowHandOff::push(const LiveRow& row) {
    Slot slot;
    slot.row = packRow(row);
    if (!tryPush(slot)) {
        missedRows_.fetch_add(1, std::memory_order_relaxed);
        if (row.row.Auto == QLatin1String("Fail")) {
            missedFails_.fetch_add(1, std::memory_order_relaxed);
        }
        wake();
    }
}

void RowHandOff::push(LinkState state) {
    Slot slot;
    slot.isLink = true;
    slot.link = state;
    if (!tryPush(slot)) {
        {
            const std::lock_guard lock(mutex_);
            overflowLinks_.push_back(state);
        }
        wake();
    }
}

void RowHandOff::push(const Limits& limits) {
    {
        const std::lock_guard lock(mutex_);
        limits_ = limits;
    }
    wake();
}

RowHandOff::Missed RowHandOff::take(std::vector<Item>& items) {
    items.clear();
    // Armed before looking, so that what comes after the look wakes again.
    wakeArmed_.store(true);
    if (wakeFd_ >= 0) {
        std::uint64_t count = 0;
        while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    std::deque<LinkState> links;
    {
        const std::lock_guard lock(mutex_);
        if (limits_) {
            items.emplace_back(std::move(*limits_));
            limits_.reset();
        }
        links.swap(overflowLinks_);
    }
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    const std::uint64_t tail = tail_.load(std::memory_order_acquire);
    for (std::uint64_t i = head; i < tail; ++i) {
        const Slot& slot = slots_[i % slots_.size()];
        if (slot.isLink) {
            items.emplace_back(slot.link);
        } else {
            items.emplace_back(unpackRow(slot.row));
        }
    }
    head_.store(tail, std::memory_order_release);
    for (const LinkState state : links) {
        items.emplace_back(state);
    }
    Missed missed;
    missed.rows = missedRows_.exchange(0, std::memory_order_relaxed);
    missed.fails = missedFails_.exchange(0, std::memory_order_relaxed);
    return missed;
}

} // namespace velkor::http
