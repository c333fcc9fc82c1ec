#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace belvane::clockcheck {

// Watches the device clock of the current OpenAL context from a thread of its own, to find when
// the device stood at zero in the host's steady time. OpenAL Soft's wave writer mixes in real
// time and its file holds, at frame f, what was mixed at device time f / rate: this says when
// that was. The device clock moves a mixer period at a time, after the period is mixed, so the
// smallest gap between host time and device clock seen is that moment.
class DeviceClockWatch {
  public:
    using SteadyClock = std::chrono::steady_clock;

    // Starts watching. Throws std::runtime_error without a current context or without the
    // device clock extension.
    DeviceClockWatch();
    ~DeviceClockWatch();
    DeviceClockWatch(const DeviceClockWatch&) = delete;
    DeviceClockWatch& operator=(const DeviceClockWatch&) = delete;

    // Stops watching; must be done before the device closes.
    void stop();
    // Host time at which the device clock was zero, as well as seen so far.
    SteadyClock::time_point deviceOrigin() const;
    // The output latency the device reports: how long a mixed frame takes to be heard.
    std::chrono::nanoseconds latency() const { return latency_; }

  private:
    std::chrono::nanoseconds latency_{0};
    // Nanoseconds of the steady clock's epoch.
    std::atomic<long long> originNanos_;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
};

}  // namespace belvane::clockcheck
