#include "Timer.h"

namespace nosk {

QtTimer::QtTimer()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
}

void QtTimer::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void QtTimer::stop()
{
    m_timer.stop();
}

bool QtTimer::isActive() const
{
    return m_timer.isActive();
}

} // namespace nosk
