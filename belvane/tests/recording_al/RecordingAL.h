#pragma once

// A stand-in for the OpenAL functions that the plug-in calls. It records every call and keeps
// a model of the sources, buffers, devices and contexts that behaves as OpenAL Soft does where
// the plug-in depends on it: a stopped source counts every queued buffer as processed, playing
// a stopped source starts again from the head of its queue, a queued buffer cannot be filled
// or deleted, and only processed buffers can be unqueued. Calls that OpenAL would refuse change
// nothing and are listed in errors().
//
// Tests drive the sources with playBuffers, playFrames and setSourceState and read what was
// heard with playedBytes. The play position (AL_SAMPLE_OFFSET and OpenAL Soft's 64-bit forms)
// counts from the head of the queue, processed buffers included, and is 0 for a source that is
// neither playing nor paused; the device clock and latency those forms report are set by tests.

#include <AL/al.h>
#include <AL/alc.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace recording_al {

struct Call {
    std::string function;
    // Integer arguments in order (source and buffer names, enums, counts, sizes, rates).
    std::vector<long long> integers;
    // Float arguments in order.
    std::vector<float> floats;
    // Names passed in an array or written to one (gen, queue, unqueue, delete).
    std::vector<ALuint> names;
    // alBufferData's bytes.
    std::vector<unsigned char> data;
    // alcOpenDevice's device name; "(default)" for a null name.
    std::string deviceName;
};

// Forgets all calls, objects and settings.
void reset();

const std::vector<Call>& calls();
void clearCalls();
// The function names of the calls since the last clearCalls, in order.
std::vector<std::string> functions();
std::vector<Call> callsTo(const std::string& function);
// Calls that OpenAL would have refused, described.
const std::vector<std::string>& errors();

// The most recently generated source and buffers.
ALuint lastSource();
std::vector<ALuint> lastBuffers();

// The source plays its next count queued buffers, the rest of the one it is in counting as one
// (only while it is playing); what they hold is appended to playedBytes. A source that reaches
// the end of its queue stops.
void playBuffers(ALuint source, std::size_t count);
// The same, frame by frame: a buffer played to its end counts as processed.
void playFrames(ALuint source, std::size_t count);
// Plays everything still queued; the source stops.
void playToTheEnd(ALuint source);
void setSourceState(ALuint source, ALint state);
ALint sourceState(ALuint source);
std::vector<ALuint> queuedBuffers(ALuint source);
const std::vector<unsigned char>& playedBytes(ALuint source);
std::vector<unsigned char> bufferBytes(ALuint buffer);

// Which devices alcOpenDevice can open. By default only the default device (a null name).
void setDeviceAvailability(bool directSound3D, bool defaultDevice);

// Which of OpenAL Soft's play-position extensions are offered (AL_SOFT_source_latency,
// ALC_SOFT_device_clock). By default both, as Debian's OpenAL Soft offers them.
void setPositionExtensions(bool sourceLatency, bool deviceClock);
// What the device reports as its clock and its output latency, in nanoseconds. Both 0 at first.
void setDeviceClock(std::int64_t nanoseconds);
std::int64_t deviceClock();
void setDeviceLatency(std::int64_t nanoseconds);

// Opens the default device and makes a context on it current, through the recorded calls.
void makeDefaultContextCurrent();

// Called with the name of every OpenAL function the plug-in calls, before the call takes
// effect: a test plays the source from here as OpenAL's mixer would between two calls.
void setCallHook(std::function<void(const std::string& function)> hook);

std::size_t liveBuffers();
std::size_t liveSources();
std::size_t openDevices();
std::size_t liveContexts();
ALCcontext* currentContext();

}  // namespace recording_al
