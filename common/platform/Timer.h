#pragma once

#include <QTimer>

#include <functional>

namespace nosk {

// A periodic timer. The organiser watches the engine with one; tests use
// ManualTimer and call tick() instead of waiting.
class Timer {
public:
    virtual ~Timer() = default;
    void setCallback(std::function<void()> callback) { m_callback = std::move(callback); }
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

protected:
    void fire()
    {
        if (m_callback)
            m_callback();
    }

private:
    std::function<void()> m_callback;
};

class QtTimer : public Timer {
public:
    QtTimer();
    void start(int intervalMs) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer m_timer;
};

class ManualTimer : public Timer {
public:
    void start(int intervalMs) override
    {
        m_active = true;
        m_interval = intervalMs;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int interval() const { return m_interval; }
    // One period has passed: the callback runs while the timer is active.
    void tick()
    {
        if (m_active)
            fire();
    }

private:
    bool m_active = false;
    int m_interval = 0;
};

} // namespace nosk
