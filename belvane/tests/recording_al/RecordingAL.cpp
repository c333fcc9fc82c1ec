#include "RecordingAL.h"

// The extensions' functions are defined here, so their declarations are wanted too.
#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace recording_al {

namespace {

struct SourceModel {
    std::deque<ALuint> queue;
    // Buffers at the head of the queue that have played (while not stopped).
    std::size_t processed = 0;
    // Frames played of the buffer after those.
    std::size_t framesIntoCurrent = 0;
    ALint state = AL_INITIAL;
    std::vector<unsigned char> played;
};

struct BufferModel {
    std::vector<unsigned char> bytes;
    ALenum format = AL_FORMAT_MONO8;
};

// Device and context handles are addresses in here; nothing dereferences them.
constexpr std::size_t kHandleSlots = 4096;
char gHandleTokens[kHandleSlots];

struct Model {
    std::vector<Call> calls;
    std::vector<std::string> errors;
    std::map<ALuint, BufferModel> buffers;
    std::map<ALuint, SourceModel> sources;
    ALuint nextName = 1;
    ALuint lastSource = 0;
    std::vector<ALuint> lastBuffers;
    std::set<ALCdevice*> devices;
    std::map<ALCcontext*, ALCdevice*> contexts;
    ALCcontext* current = nullptr;
    std::size_t nextHandle = 0;
    bool directSound3D = false;
    bool defaultDevice = true;
    bool sourceLatencyExtension = true;
    bool deviceClockExtension = true;
    std::int64_t deviceClockNanos = 0;
    std::int64_t deviceLatencyNanos = 0;
    std::function<void(const std::string&)> hook;
};

Model& model() {
    static Model instance;
    return instance;
}

Call& record(const char* function) {
    if (model().hook) {
        model().hook(function);
    }
    Call call;
    call.function = function;
    model().calls.push_back(std::move(call));
    return model().calls.back();
}

void refuse(const std::string& what) {
    model().errors.push_back(what);
}

SourceModel* findSource(ALuint name) {
    auto found = model().sources.find(name);
    return found == model().sources.end() ? nullptr : &found->second;
}

std::size_t reportedProcessed(const SourceModel& source) {
    return source.state == AL_STOPPED ? source.queue.size() : source.processed;
}

bool isQueued(ALuint buffer) {
    for (const auto& [name, source] : model().sources) {
        if (std::find(source.queue.begin(), source.queue.end(), buffer) != source.queue.end()) {
            return true;
        }
    }
    return false;
}

std::size_t frameBytesOf(ALenum format) {
    switch (format) {
        case AL_FORMAT_STEREO16:
            return 4;
        case AL_FORMAT_MONO16:
        case AL_FORMAT_STEREO8:
            return 2;
        default:
            return 1;
    }
}

std::size_t framesIn(ALuint buffer) {
    const BufferModel& model = recording_al::model().buffers[buffer];
    return model.bytes.size() / frameBytesOf(model.format);
}

// From the head of the queue, as OpenAL counts AL_SAMPLE_OFFSET.
std::int64_t sampleOffset(const SourceModel& source) {
    if (source.state != AL_PLAYING && source.state != AL_PAUSED) {
        return 0;
    }
    std::size_t frames = source.framesIntoCurrent;
    for (std::size_t i = 0; i < source.processed && i < source.queue.size(); ++i) {
        frames += framesIn(source.queue[i]);
    }
    return static_cast<std::int64_t>(frames);
}

void* newHandle() {
    Model& m = model();
    return &gHandleTokens[m.nextHandle++ % kHandleSlots];
}

}  // namespace

void reset() {
    model() = Model{};
}
const std::vector<Call>& calls() {
    return model().calls;
}
void clearCalls() {
    model().calls.clear();
}

std::vector<std::string> functions() {
    std::vector<std::string> names;
    for (const Call& call : model().calls) {
        names.push_back(call.function);
    }
    return names;
}

std::vector<Call> callsTo(const std::string& function) {
    std::vector<Call> found;
    for (const Call& call : model().calls) {
        if (call.function == function) {
            found.push_back(call);
        }
    }
    return found;
}

const std::vector<std::string>& errors() {
    return model().errors;
}
ALuint lastSource() {
    return model().lastSource;
}
std::vector<ALuint> lastBuffers() {
    return model().lastBuffers;
}

namespace {

// Plays up to count frames of the buffer the source is in; returns how many.
std::size_t playInCurrentBuffer(SourceModel& source, std::size_t count) {
    const BufferModel& buffer = model().buffers[source.queue[source.processed]];
    const std::size_t frameBytes = frameBytesOf(buffer.format);
    const std::size_t frames =
        std::min(count, framesIn(source.queue[source.processed]) - source.framesIntoCurrent);
    const auto first =
        buffer.bytes.begin() + static_cast<long>(source.framesIntoCurrent * frameBytes);
    source.played.insert(source.played.end(), first,
                         first + static_cast<long>(frames * frameBytes));
    source.framesIntoCurrent += frames;
    if (source.framesIntoCurrent == framesIn(source.queue[source.processed])) {
        ++source.processed;
        source.framesIntoCurrent = 0;
    }
    return frames;
}

void stopAtTheEnd(SourceModel& source) {
    if (source.processed == source.queue.size()) {
        source.state = AL_STOPPED;
        source.framesIntoCurrent = 0;
    }
}

}  // namespace

void playBuffers(ALuint name, std::size_t count) {
    SourceModel* source = findSource(name);
    if (source == nullptr || source->state != AL_PLAYING) {
        return;
    }
    for (std::size_t i = 0; i < count && source->processed < source->queue.size(); ++i) {
        playInCurrentBuffer(*source, static_cast<std::size_t>(-1));
    }
    stopAtTheEnd(*source);
}

void playFrames(ALuint name, std::size_t count) {
    SourceModel* source = findSource(name);
    if (source == nullptr || source->state != AL_PLAYING) {
        return;
    }
    while (count > 0 && source->processed < source->queue.size()) {
        count -= playInCurrentBuffer(*source, count);
    }
    stopAtTheEnd(*source);
}

void playToTheEnd(ALuint name) {
    playBuffers(name, static_cast<std::size_t>(-1));
}

void setSourceState(ALuint name, ALint state) {
    if (SourceModel* source = findSource(name)) {
        source->state = state;
    }
}

ALint sourceState(ALuint name) {
    const SourceModel* source = findSource(name);
    return source == nullptr ? 0 : source->state;
}

std::vector<ALuint> queuedBuffers(ALuint name) {
    const SourceModel* source = findSource(name);
    return source == nullptr ? std::vector<ALuint>{}
                             : std::vector<ALuint>(source->queue.begin(), source->queue.end());
}

const std::vector<unsigned char>& playedBytes(ALuint name) {
    static const std::vector<unsigned char> none;
    const SourceModel* source = findSource(name);
    return source == nullptr ? none : source->played;
}

std::vector<unsigned char> bufferBytes(ALuint buffer) {
    auto found = model().buffers.find(buffer);
    return found == model().buffers.end() ? std::vector<unsigned char>{} : found->second.bytes;
}

void setDeviceAvailability(bool directSound3D, bool defaultDevice) {
    model().directSound3D = directSound3D;
    model().defaultDevice = defaultDevice;
}

void setPositionExtensions(bool sourceLatency, bool deviceClock) {
    model().sourceLatencyExtension = sourceLatency;
    model().deviceClockExtension = deviceClock;
}

void setDeviceClock(std::int64_t nanoseconds) {
    model().deviceClockNanos = nanoseconds;
}

std::int64_t deviceClock() {
    return model().deviceClockNanos;
}

void setDeviceLatency(std::int64_t nanoseconds) {
    model().deviceLatencyNanos = nanoseconds;
}

void makeDefaultContextCurrent() {
    alcMakeContextCurrent(alcCreateContext(alcOpenDevice(nullptr), nullptr));
}

void setCallHook(std::function<void(const std::string& function)> hook) {
    model().hook = std::move(hook);
}

std::size_t liveBuffers() {
    return model().buffers.size();
}
std::size_t liveSources() {
    return model().sources.size();
}
std::size_t openDevices() {
    return model().devices.size();
}
std::size_t liveContexts() {
    return model().contexts.size();
}
ALCcontext* currentContext() {
    return model().current;
}

}  // namespace recording_al

using recording_al::record;
using recording_al::refuse;

extern "C" {

AL_API ALenum AL_APIENTRY alGetError(void) {
    return AL_NO_ERROR;
}

AL_API void AL_APIENTRY alGenBuffers(ALsizei n, ALuint* buffers) {
    auto& m = recording_al::model();
    auto& call = record("alGenBuffers");
    call.integers = {n};
    m.lastBuffers.clear();
    for (ALsizei i = 0; i < n; ++i) {
        buffers[i] = m.nextName++;
        m.buffers[buffers[i]] = recording_al::BufferModel{};
        m.lastBuffers.push_back(buffers[i]);
        call.names.push_back(buffers[i]);
    }
}

AL_API void AL_APIENTRY alDeleteBuffers(ALsizei n, const ALuint* buffers) {
    auto& m = recording_al::model();
    auto& call = record("alDeleteBuffers");
    call.integers = {n};
    call.names.assign(buffers, buffers + n);
    for (ALsizei i = 0; i < n; ++i) {
        if (m.buffers.count(buffers[i]) == 0 || recording_al::isQueued(buffers[i])) {
            refuse("alDeleteBuffers: buffer " + std::to_string(buffers[i]) +
                   " does not exist or is queued");
            return;
        }
    }
    for (ALsizei i = 0; i < n; ++i) {
        m.buffers.erase(buffers[i]);
    }
}

AL_API void AL_APIENTRY alGenSources(ALsizei n, ALuint* sources) {
    auto& m = recording_al::model();
    auto& call = record("alGenSources");
    call.integers = {n};
    for (ALsizei i = 0; i < n; ++i) {
        sources[i] = m.nextName++;
        m.sources[sources[i]] = {};
        m.lastSource = sources[i];
        call.names.push_back(sources[i]);
    }
}

AL_API void AL_APIENTRY alDeleteSources(ALsizei n, const ALuint* sources) {
    auto& m = recording_al::model();
    auto& call = record("alDeleteSources");
    call.integers = {n};
    call.names.assign(sources, sources + n);
    for (ALsizei i = 0; i < n; ++i) {
        if (m.sources.count(sources[i]) == 0) {
            refuse("alDeleteSources: source " + std::to_string(sources[i]) + " does not exist");
            return;
        }
    }
    // A deleted source lets go of the buffers queued on it.
    for (ALsizei i = 0; i < n; ++i) {
        m.sources.erase(sources[i]);
    }
}

AL_API void AL_APIENTRY alSourcef(ALuint source, ALenum param, ALfloat value) {
    auto& call = record("alSourcef");
    call.integers = {source, param};
    call.floats = {value};
}

AL_API void AL_APIENTRY alSource3f(ALuint source, ALenum param, ALfloat value1, ALfloat value2,
                                   ALfloat value3) {
    auto& call = record("alSource3f");
    call.integers = {source, param};
    call.floats = {value1, value2, value3};
}

AL_API void AL_APIENTRY alSourcei(ALuint source, ALenum param, ALint value) {
    auto& call = record("alSourcei");
    call.integers = {source, param, value};
}

AL_API void AL_APIENTRY alGetSourcei(ALuint name, ALenum param, ALint* value) {
    auto& call = record("alGetSourcei");
    call.integers = {name, param};
    const recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alGetSourcei: source " + std::to_string(name) + " does not exist");
        return;
    }
    switch (param) {
        case AL_BUFFERS_PROCESSED:
            *value = static_cast<ALint>(recording_al::reportedProcessed(*source));
            break;
        case AL_BUFFERS_QUEUED:
            *value = static_cast<ALint>(source->queue.size());
            break;
        case AL_SOURCE_STATE:
            *value = source->state;
            break;
        case AL_SAMPLE_OFFSET:
            *value = static_cast<ALint>(recording_al::sampleOffset(*source));
            break;
        default:
            refuse("alGetSourcei: parameter not modelled");
    }
}

AL_API void AL_APIENTRY alSourcePlay(ALuint name) {
    record("alSourcePlay").integers = {name};
    recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alSourcePlay: source " + std::to_string(name) + " does not exist");
        return;
    }
    if (source->queue.empty()) {
        source->state = AL_STOPPED;
        return;
    }
    // A paused source goes on; any other starts again from the head of its queue.
    if (source->state != AL_PAUSED) {
        source->processed = 0;
        source->framesIntoCurrent = 0;
    }
    source->state = AL_PLAYING;
}

AL_API void AL_APIENTRY alSourcePause(ALuint name) {
    record("alSourcePause").integers = {name};
    recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alSourcePause: source " + std::to_string(name) + " does not exist");
        return;
    }
    if (source->state == AL_PLAYING) {
        source->state = AL_PAUSED;
    }
}

AL_API void AL_APIENTRY alSourceStop(ALuint name) {
    record("alSourceStop").integers = {name};
    recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alSourceStop: source " + std::to_string(name) + " does not exist");
        return;
    }
    source->state = AL_STOPPED;
    source->framesIntoCurrent = 0;
}

AL_API void AL_APIENTRY alSourceQueueBuffers(ALuint name, ALsizei nb, const ALuint* buffers) {
    auto& call = record("alSourceQueueBuffers");
    call.integers = {name, nb};
    call.names.assign(buffers, buffers + nb);
    recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alSourceQueueBuffers: source " + std::to_string(name) + " does not exist");
        return;
    }
    for (ALsizei i = 0; i < nb; ++i) {
        if (recording_al::model().buffers.count(buffers[i]) == 0) {
            refuse("alSourceQueueBuffers: buffer " + std::to_string(buffers[i]) +
                   " does not exist");
            return;
        }
    }
    source->queue.insert(source->queue.end(), buffers, buffers + nb);
}

AL_API void AL_APIENTRY alSourceUnqueueBuffers(ALuint name, ALsizei nb, ALuint* buffers) {
    auto& call = record("alSourceUnqueueBuffers");
    call.integers = {name, nb};
    recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alSourceUnqueueBuffers: source " + std::to_string(name) + " does not exist");
        return;
    }
    if (nb < 0 || static_cast<std::size_t>(nb) > recording_al::reportedProcessed(*source)) {
        refuse("alSourceUnqueueBuffers: " + std::to_string(nb) + " asked, " +
               std::to_string(recording_al::reportedProcessed(*source)) + " processed");
        return;
    }
    for (ALsizei i = 0; i < nb; ++i) {
        buffers[i] = source->queue.front();
        source->queue.pop_front();
        call.names.push_back(buffers[i]);
        if (source->processed > 0) {
            --source->processed;
        }
    }
}

AL_API void AL_APIENTRY alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size,
                                     ALsizei freq) {
    auto& call = record("alBufferData");
    call.integers = {buffer, format, size, freq};
    const auto* bytes = static_cast<const unsigned char*>(data);
    call.data.assign(bytes, bytes + size);
    auto found = recording_al::model().buffers.find(buffer);
    if (found == recording_al::model().buffers.end() || recording_al::isQueued(buffer)) {
        refuse("alBufferData: buffer " + std::to_string(buffer) + " does not exist or is queued");
        return;
    }
    found->second.bytes = call.data;
    found->second.format = format;
}

AL_API ALboolean AL_APIENTRY alIsExtensionPresent(const ALchar* name) {
    record("alIsExtensionPresent");
    return std::strcmp(name, "AL_SOFT_source_latency") == 0 &&
                   recording_al::model().sourceLatencyExtension
               ? AL_TRUE
               : AL_FALSE;
}

AL_API void* AL_APIENTRY alGetProcAddress(const ALchar* name) {
    record("alGetProcAddress");
    if (std::strcmp(name, "alGetSourcei64vSOFT") == 0 &&
        recording_al::model().sourceLatencyExtension) {
        return reinterpret_cast<void*>(&alGetSourcei64vSOFT);
    }
    return nullptr;
}

AL_API void AL_APIENTRY alGetSourcei64vSOFT(ALuint name, ALenum param, ALint64SOFT* values) {
    auto& call = record("alGetSourcei64vSOFT");
    call.integers = {name, param};
    const auto& m = recording_al::model();
    const recording_al::SourceModel* source = recording_al::findSource(name);
    if (source == nullptr) {
        refuse("alGetSourcei64vSOFT: source " + std::to_string(name) + " does not exist");
        return;
    }
    const ALint64SOFT fixedPointOffset = recording_al::sampleOffset(*source) << 32;
    if (param == AL_SAMPLE_OFFSET_LATENCY_SOFT) {
        values[0] = fixedPointOffset;
        values[1] = m.deviceLatencyNanos;
    } else if (param == AL_SAMPLE_OFFSET_CLOCK_SOFT && m.deviceClockExtension) {
        values[0] = fixedPointOffset;
        values[1] = m.deviceClockNanos;
    } else {
        refuse("alGetSourcei64vSOFT: parameter not offered");
    }
}

ALC_API ALCboolean ALC_APIENTRY alcIsExtensionPresent(ALCdevice* /*device*/, const ALCchar* name) {
    record("alcIsExtensionPresent");
    return std::strcmp(name, "ALC_SOFT_device_clock") == 0 &&
                   recording_al::model().deviceClockExtension
               ? ALC_TRUE
               : ALC_FALSE;
}

ALC_API void* ALC_APIENTRY alcGetProcAddress(ALCdevice* /*device*/, const ALCchar* name) {
    record("alcGetProcAddress");
    if (std::strcmp(name, "alcGetInteger64vSOFT") == 0 &&
        recording_al::model().deviceClockExtension) {
        return reinterpret_cast<void*>(&alcGetInteger64vSOFT);
    }
    return nullptr;
}

ALC_API void ALC_APIENTRY alcGetInteger64vSOFT(ALCdevice* device, ALCenum pname, ALsizei size,
                                               ALCint64SOFT* values) {
    auto& call = record("alcGetInteger64vSOFT");
    call.integers = {pname, size};
    const auto& m = recording_al::model();
    if (m.devices.count(device) == 0 || size < 1) {
        refuse("alcGetInteger64vSOFT: not an open device, or no room");
        return;
    }
    if (pname == ALC_DEVICE_LATENCY_SOFT) {
        values[0] = m.deviceLatencyNanos;
    } else if (pname == ALC_DEVICE_CLOCK_SOFT) {
        values[0] = m.deviceClockNanos;
    } else {
        refuse("alcGetInteger64vSOFT: parameter not modelled");
    }
}

ALC_API ALCdevice* ALC_APIENTRY alcGetContextsDevice(ALCcontext* context) {
    record("alcGetContextsDevice");
    const auto& contexts = recording_al::model().contexts;
    const auto found = contexts.find(context);
    return found == contexts.end() ? nullptr : found->second;
}

ALC_API ALCdevice* ALC_APIENTRY alcOpenDevice(const ALCchar* deviceName) {
    auto& m = recording_al::model();
    auto& call = record("alcOpenDevice");
    call.deviceName = deviceName == nullptr ? "(default)" : deviceName;
    const bool available = deviceName == nullptr
                               ? m.defaultDevice
                               : (std::strcmp(deviceName, "DirectSound3D") == 0 && m.directSound3D);
    if (!available) {
        return nullptr;
    }
    auto* device = static_cast<ALCdevice*>(recording_al::newHandle());
    m.devices.insert(device);
    return device;
}

ALC_API ALCboolean ALC_APIENTRY alcCloseDevice(ALCdevice* device) {
    auto& m = recording_al::model();
    record("alcCloseDevice");
    if (m.devices.erase(device) == 0) {
        refuse("alcCloseDevice: not an open device");
        return ALC_FALSE;
    }
    for (const auto& [context, owner] : m.contexts) {
        if (owner == device) {
            refuse("alcCloseDevice: a context is still alive on the device");
        }
    }
    return ALC_TRUE;
}

ALC_API ALCcontext* ALC_APIENTRY alcCreateContext(ALCdevice* device, const ALCint* attributes) {
    auto& m = recording_al::model();
    auto& call = record("alcCreateContext");
    call.integers = {attributes == nullptr ? 0 : 1};
    if (m.devices.count(device) == 0) {
        return nullptr;
    }
    auto* context = static_cast<ALCcontext*>(recording_al::newHandle());
    m.contexts[context] = device;
    return context;
}

ALC_API ALCboolean ALC_APIENTRY alcMakeContextCurrent(ALCcontext* context) {
    auto& m = recording_al::model();
    record("alcMakeContextCurrent");
    if (context != nullptr && m.contexts.count(context) == 0) {
        refuse("alcMakeContextCurrent: not a context");
        return ALC_FALSE;
    }
    m.current = context;
    return ALC_TRUE;
}

ALC_API void ALC_APIENTRY alcDestroyContext(ALCcontext* context) {
    auto& m = recording_al::model();
    record("alcDestroyContext");
    if (m.contexts.erase(context) == 0) {
        refuse("alcDestroyContext: not a context");
        return;
    }
    // As OpenAL Soft does: the current context stops being current when destroyed.
    if (m.current == context) {
        m.current = nullptr;
    }
}

ALC_API ALCcontext* ALC_APIENTRY alcGetCurrentContext(void) {
    record("alcGetCurrentContext");
    return recording_al::model().current;
}

}  // extern "C"
