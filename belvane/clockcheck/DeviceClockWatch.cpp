#include "DeviceClockWatch.h"

#include <AL/alc.h>
#include <AL/alext.h>

#include <limits>
#include <stdexcept>

namespace belvane::clockcheck {

namespace {

// Often enough that some look lands within a fraction of a millisecond of a mix.
constexpr auto kLookInterval = std::chrono::microseconds(200);

long long nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               DeviceClockWatch::SteadyClock::now().time_since_epoch())
        .count();
}

}  // namespace

DeviceClockWatch::DeviceClockWatch() : originNanos_(std::numeric_limits<long long>::max()) {
    ALCcontext* context = alcGetCurrentContext();
    ALCdevice* device = context == nullptr ? nullptr : alcGetContextsDevice(context);
    if (device == nullptr || alcIsExtensionPresent(device, "ALC_SOFT_device_clock") != ALC_TRUE) {
        throw std::runtime_error("no OpenAL device with ALC_SOFT_device_clock to watch");
    }
    auto query =
        reinterpret_cast<LPALCGETINTEGER64VSOFT>(alcGetProcAddress(device, "alcGetInteger64vSOFT"));
    ALCint64SOFT latency = 0;
    query(device, ALC_DEVICE_LATENCY_SOFT, 1, &latency);
    latency_ = std::chrono::nanoseconds(latency);
    thread_ = std::thread([this, device, query] {
        while (!stopRequested_.load()) {
            ALCint64SOFT deviceNanos = 0;
            query(device, ALC_DEVICE_CLOCK_SOFT, 1, &deviceNanos);
            const long long gap = nowNanos() - deviceNanos;
            if (gap < originNanos_.load()) {
                originNanos_.store(gap);
            }
            std::this_thread::sleep_for(kLookInterval);
        }
    });
}

DeviceClockWatch::~DeviceClockWatch() {
    stop();
}

void DeviceClockWatch::stop() {
    stopRequested_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

DeviceClockWatch::SteadyClock::time_point DeviceClockWatch::deviceOrigin() const {
    return SteadyClock::time_point(std::chrono::nanoseconds(originNanos_.load()));
}

}  // namespace belvane::clockcheck
