#include "ui/period_timer.h"

#include <algorithm>

namespace quorvel {

PeriodTimer::PeriodTimer(QObject* parent) : QObject(parent) {
    // A coarse timer may fire 5 % early or late; over a 30 s interval that is noticeable.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PeriodTimer::Tick);
}

void PeriodTimer::SetPeriod(std::int32_t periodMs) {
    periodMs = std::max(periodMs, std::int32_t{0});
    if (periodMs == period_) {
        return;
    }
    period_ = periodMs;
    timer_.stop();
    if (period_ > 0) {
        timer_.start(period_);
    }
}

}  // namespace quorvel
