#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace quorvel {

// A timer whose period can be written at any time with these rules: a negative period is 0; writing
// the current period changes nothing (a running countdown is not restarted); any other period stops
// the countdown and, when positive, starts a new one from the moment of the write. QTimer alone
// restarts on every start(), hence this wrapper.
class PeriodTimer : public QObject {
    Q_OBJECT

public:
    explicit PeriodTimer(QObject* parent = nullptr);

    void SetPeriod(std::int32_t periodMs);
    [[nodiscard]] std::int32_t Period() const { return period_; }
    // Milliseconds to the next tick, -1 while stopped.
    [[nodiscard]] int RemainingMs() const { return timer_.remainingTime(); }

signals:
    void Tick();

private:
    QTimer timer_;
    std::int32_t period_ = 0;
};

}  // namespace quorvel
