#pragma once

// A stand-in for the OpenAL functions that the plug-in calls. It records every call and keeps
// a model of the sources, buffers, devices and contexts that behaves as OpenAL Soft does where
// the plug-in depends on it: a stopped source counts every queued buffer as processed, playing
// a stopped source starts again from the head of its queue, a queued buffer cannot be filled
// or deleted, and only processed buffers can be unqueued. Calls that OpenAL would refuse change
// nothing and are listed in errors().
//
// Tests drive the sources with playBuffers and setSourceState and read what was heard with
// playedBytes.

#include <AL/al.h>
#include <AL/alc.h>

#include <cstddef>
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

// The source plays its next count queued buffers (only while it is playing); what they hold
// is appended to playedBytes. A source that reaches the end of its queue stops.
void playBuffers(ALuint source, std::size_t count);
void setSourceState(ALuint source, ALint state);
ALint sourceState(ALuint source);
std::vector<ALuint> queuedBuffers(ALuint source);
const std::vector<unsigned char>& playedBytes(ALuint source);
std::vector<unsigned char> bufferBytes(ALuint buffer);

// Which devices alcOpenDevice can open. By default only the default device (a null name).
void setDeviceAvailability(bool directSound3D, bool defaultDevice);

std::size_t liveBuffers();
std::size_t liveSources();
std::size_t openDevices();
std::size_t liveContexts();
ALCcontext* currentContext();

}  // namespace recording_al
