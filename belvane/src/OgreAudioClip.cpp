#include <belvane/OgreAudioClip.h>

#include "AudioClock.h"
#include "PluginLog.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <OgreTimer.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

namespace Ogre {

// The header keeps OpenAL's names and enums in plain types.
static_assert(std::is_same_v<ALuint, unsigned int>);
static_assert(std::is_same_v<ALenum, int>);

using belvane::logNormal;

struct AudioClip::PositionQueries {
    enum class Kind {
        kNone,                 // no context: the clock runs on the timer
        kSampleOffset,         // AL_SAMPLE_OFFSET alone
        kOffsetAndLatency,     // AL_SAMPLE_OFFSET_LATENCY_SOFT
        kOffsetAndDeviceClock  // AL_SAMPLE_OFFSET_CLOCK_SOFT, and the device's latency
    };
    Kind kind = Kind::kNone;
    LPALGETSOURCEI64VSOFT sourceInteger64 = nullptr;
    LPALCGETINTEGER64VSOFT deviceInteger64 = nullptr;
    ALCdevice* device = nullptr;
};

namespace {

// Built once: the refill must not allocate while audio streams, not even to log.
const std::string kStartMessage = "bool AudioClip::startAudioStream()";
const std::string kCloseMessage = "bool AudioClip::closeAudioStream()";
const std::string kAudioLowMessage = "bool AudioClip::frameStarted() AudioLow";

ALenum chooseFormat(eAudioSampleFormat sampleFormat, unsigned int channelFlags) {
    const bool stereo = (channelFlags & kAudioChannelFlagStereo) != 0;
    if (sampleFormat == AUDIO_SAMPLES_16BIT) {
        return stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    }
    if (sampleFormat == AUDIO_SAMPLES_8BIT && stereo) {
        return AL_FORMAT_STEREO8;
    }
    // Sample formats the host does not define play as mono 8-bit.
    return AL_FORMAT_MONO8;
}

std::uint32_t frameBytesOf(ALenum format) {
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

// The integer part of OpenAL's 32.32 fixed-point sample offset.
double framesOfFixedPoint(ALint64SOFT offset) {
    return static_cast<double>(std::max<ALint64SOFT>(offset, 0) >> 32);
}

// Padding with zero bytes would make 8-bit blocks end in a full-scale click, not in silence.
unsigned char silenceOf(ALenum format) {
    constexpr unsigned char kSilence8Bit = 0x80;
    return format == AL_FORMAT_MONO8 || format == AL_FORMAT_STEREO8 ? kSilence8Bit : 0;
}

}  // namespace

AudioClip::AudioClip()
    : timer_(std::make_unique<Timer>()),
      clock_(std::make_unique<belvane::AudioClock>()),
      positionQueries_(std::make_unique<PositionQueries>()) {}

AudioClip::~AudioClip() {
    if (isOpen()) {
        releaseStream();
    }
}

bool AudioClip::openAudioStream(unsigned int sampleRate, eAudioSampleFormat sampleFormat,
                                unsigned int /*channelCount*/, unsigned int channelFlags,
                                unsigned int startOffsetMs) {
    // Opening again without a close would lose the source and buffers of the first opening.
    if (isOpen()) {
        releaseStream();
    }
    format_ = chooseFormat(sampleFormat, channelFlags);
    silence_ = silenceOf(format_);
    frameBytes_ = frameBytesOf(format_);

    alGenBuffers(kQueuedBufferCount, buffers_.data());
    alGenSources(1, &source_);
    // The sound track is neither placed in space nor attenuated by distance.
    alSource3f(source_, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(source_, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSource3f(source_, AL_DIRECTION, 0.0f, 0.0f, 0.0f);
    alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);

    sampleRate_ = sampleRate;
    blockSize_ = kBlockSize;
    staging_ = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
    spareCount_ = 0;
    unqueuedFrames_ = 0.0;
    started_ = false;

    startOffsetMs_ = startOffsetMs;
    choosePositionQueries();
    clock_->reset(sampleRate_, positionQueries_->kind != PositionQueries::Kind::kNone);
    return true;
}

bool AudioClip::startAudioStream() {
    logNormal(kStartMessage);
    // Before openAudioStream or after closeAudioStream there is nothing to read into or play;
    // once started, the buffers are queued already.
    if (!isOpen() || started_) {
        return true;
    }
    // Four blocks always, silent ones included, so the queue has its full length from the start.
    for (ALuint buffer : buffers_) {
        uploadBlock(buffer, readBlock());
    }
    alSourceQueueBuffers(source_, kQueuedBufferCount, buffers_.data());
    spareCount_ = 0;
    alSourcePlay(source_);
    timer_->reset();
    paused_ = false;
    started_ = true;
    clock_->start(hostMicros());
    return true;
}

void AudioClip::autoUpdate() {
    // Before startAudioStream nothing is queued: a resume that came first must not play.
    if (!isPlaying()) {
        return;
    }
    // The state before refilling tells whether the source stopped before fresh blocks went in.
    const ALint stateBefore = sourceState();
    const Reading before = observePosition();
    if (stateBefore == AL_STOPPED) {
        restartDrySource();
        return;
    }

    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    const double leftToMix = clock_->queuedEnd() - before.mixedFrames;
    Reading atFirstQueue = before;
    const int refilled = refill(std::max(processed, 0), &atFirstQueue);
    // A paused clip stays silent until the host resumes it.
    if (!paused_ && refilled > 0 && sourceState() == AL_STOPPED) {
        settleRunningDryWhileRefilled(before, atFirstQueue, leftToMix, refilled);
    }
}

void AudioClip::restartDrySource() {
    // What is still queued has played, and alSourcePlay would play it again.
    setAsidePlayedBuffers(queuedBufferCount());
    // A dry source stays stopped through a pause; fresh audio waits for the resume.
    if (!paused_ && refill(0, nullptr) > 0) {
        restartSource();
    }
}

void AudioClip::settleRunningDryWhileRefilled(const Reading& before, const Reading& atFirstQueue,
                                              double leftToMix, int refilled) {
    // It stopped before the fresh blocks went in, and they wait to be played; or after playing
    // them too, which takes the device mixing all of them since the state was read.
    const double freshFrames = static_cast<double>(refilled) * blockFrames();
    // The device clock counts whole frames in truncated nanoseconds.
    constexpr double kHalfFrame = 0.5;
    const bool dryBeforeFreshBlocks =
        surelyMixedSince(before, atFirstQueue) + kHalfFrame >= leftToMix;
    if (!dryBeforeFreshBlocks &&
        mayHaveMixedSince(before, observePosition()) + kHalfFrame >= leftToMix + freshFrames) {
        setAsidePlayedBuffers(queuedBufferCount());
        return;
    }
    setAsidePlayedBuffers(queuedBufferCount() - refilled);
    restartSource();
}

int AudioClip::refill(int processed, Reading* atFirstQueue) {
    int refillable = processed + spareCount_;
    int refilled = 0;
    while (refillable > 0) {
        --refillable;
        const std::uint32_t bytesRead = readBlock();
        if (bytesRead == 0) {
            logNormal(kAudioLowMessage);
            break;
        }
        ALuint buffer = 0;
        if (processed > 0) {
            --processed;
            alSourceUnqueueBuffers(source_, 1, &buffer);
            unqueuedFrames_ += blockFrames();
        } else {
            buffer = takeSpareBuffer();
        }
        uploadBlock(buffer, bytesRead);
        if (refilled == 0 && atFirstQueue != nullptr) {
            *atFirstQueue = observePosition();
        }
        alSourceQueueBuffers(source_, 1, &buffer);
        ++refilled;
        // The ring buffer is drained; the other buffers wait for the next frame.
        if (bytesRead < blockSize_) {
            break;
        }
    }
    return refilled;
}

void AudioClip::setAudioStreamPause(bool pause) {
    if (pause == paused_) {
        return;
    }
    paused_ = pause;
    // Before startAudioStream there is no sound to hold; startAudioStream plays it.
    if (!isPlaying()) {
        return;
    }
    if (pause) {
        observePosition();
        clock_->hold(hostMicros());
        alSourcePause(source_);
        return;
    }
    clock_->release(hostMicros());
    if (sourceState() == AL_STOPPED) {
        // It ran dry before the pause, so what it holds has played; autoUpdate starts it again
        // once fresh audio arrives.
        setAsidePlayedBuffers(queuedBufferCount());
        return;
    }
    // Where the pause left it: the clock goes on from there once the sound is heard again.
    observePosition();
    restartSource();
}

float AudioClip::getAudioStreamTime() {
    if (isPlaying() && !clock_->holding()) {
        observePosition();
    }
    return static_cast<float>(startOffsetMs_ + clock_->positionMs(hostMicros()));
}

bool AudioClip::closeAudioStream() {
    logNormal(kCloseMessage);
    // A second close must not delete names that OpenAL may have handed to another clip since.
    if (isOpen()) {
        // The clock keeps the value it has reached.
        clock_->hold(hostMicros());
        releaseStream();
    }
    paused_ = true;
    return true;
}

std::uint32_t AudioClip::readBlock() {
    const long count = ringBuffer_.read(staging_.get(), static_cast<long>(blockSize_));
    const std::uint32_t bytesRead =
        count <= 0 ? 0 : static_cast<std::uint32_t>(std::min(count, static_cast<long>(blockSize_)));
    // A partial block is played all the same, its tail silent.
    std::memset(staging_.get() + bytesRead, silence_, blockSize_ - bytesRead);
    return bytesRead;
}

void AudioClip::uploadBlock(ALuint buffer, std::uint32_t bytesRead) {
    alBufferData(buffer, format_, staging_.get(), static_cast<ALsizei>(blockSize_),
                 static_cast<ALsizei>(sampleRate_));
    clock_->queued(blockFrames(), bytesRead / frameBytes_);
}

ALuint AudioClip::takeSpareBuffer() {
    return spares_[--spareCount_];
}

void AudioClip::setAsidePlayedBuffers(int count) {
    if (count > 0) {
        alSourceUnqueueBuffers(source_, count, spares_.data() + spareCount_);
        spareCount_ += count;
        unqueuedFrames_ += static_cast<double>(count) * blockFrames();
    }
    clock_->ranDry(unqueuedFrames_);
}

int AudioClip::sourceState() {
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state;
}

void AudioClip::restartSource() {
    alSourcePlay(source_);
    clock_->sourceRestarted(hostMicros());
}

double AudioClip::surelyMixedSince(const Reading& before, const Reading& after) const {
    // Only the device clock says for certain; the host's time may run ahead of a device's mixing.
    if (!before.deviceNanos || !after.deviceNanos) {
        return 0.0;
    }
    return static_cast<double>(*after.deviceNanos - *before.deviceNanos) * sampleRate_ / 1e9;
}

double AudioClip::mayHaveMixedSince(const Reading& before, const Reading& after) const {
    if (before.deviceNanos && after.deviceNanos) {
        return surelyMixedSince(before, after);
    }
    // The host's time stands in for the device clock, and a device may mix ahead of it by as
    // much as its latency.
    return static_cast<double>(after.hostMicros - before.hostMicros) * sampleRate_ / 1e6 +
           clock_->latencyFrames();
}

void AudioClip::choosePositionQueries() {
    using Kind = PositionQueries::Kind;
    PositionQueries& queries = *positionQueries_;
    queries = PositionQueries{};
    ALCcontext* context = alcGetCurrentContext();
    if (context == nullptr) {
        return;
    }
    queries.kind = Kind::kSampleOffset;
    if (alIsExtensionPresent("AL_SOFT_source_latency") != AL_TRUE) {
        return;
    }
    queries.sourceInteger64 =
        reinterpret_cast<LPALGETSOURCEI64VSOFT>(alGetProcAddress("alGetSourcei64vSOFT"));
    if (queries.sourceInteger64 == nullptr) {
        return;
    }
    queries.kind = Kind::kOffsetAndLatency;
    ALCdevice* device = alcGetContextsDevice(context);
    if (device == nullptr || alcIsExtensionPresent(device, "ALC_SOFT_device_clock") != ALC_TRUE) {
        return;
    }
    queries.deviceInteger64 =
        reinterpret_cast<LPALCGETINTEGER64VSOFT>(alcGetProcAddress(device, "alcGetInteger64vSOFT"));
    if (queries.deviceInteger64 == nullptr) {
        return;
    }
    queries.device = device;
    queries.kind = Kind::kOffsetAndDeviceClock;
}

AudioClip::Reading AudioClip::observePosition() {
    using Kind = PositionQueries::Kind;
    const PositionQueries& queries = *positionQueries_;
    Reading reading;
    double offset = 0.0;
    switch (queries.kind) {
        case Kind::kNone:
            break;
        case Kind::kSampleOffset: {
            ALint sampleOffset = 0;
            alGetSourcei(source_, AL_SAMPLE_OFFSET, &sampleOffset);
            offset = std::max(sampleOffset, 0);
            break;
        }
        case Kind::kOffsetAndLatency: {
            ALint64SOFT values[2] = {0, 0};
            queries.sourceInteger64(source_, AL_SAMPLE_OFFSET_LATENCY_SOFT, values);
            offset = framesOfFixedPoint(values[0]);
            reading.latencyNanos = values[1];
            break;
        }
        case Kind::kOffsetAndDeviceClock: {
            // The device clock says when the offset held; the latency form would not.
            ALint64SOFT values[2] = {0, 0};
            queries.sourceInteger64(source_, AL_SAMPLE_OFFSET_CLOCK_SOFT, values);
            ALCint64SOFT latency = 0;
            queries.deviceInteger64(queries.device, ALC_DEVICE_LATENCY_SOFT, 1, &latency);
            offset = framesOfFixedPoint(values[0]);
            reading.deviceNanos = values[1];
            reading.latencyNanos = latency;
            break;
        }
    }
    reading.hostMicros = hostMicros();
    reading.mixedFrames = unqueuedFrames_ + offset;
    clock_->observe(reading);
    return reading;
}

std::int64_t AudioClip::hostMicros() {
    return static_cast<std::int64_t>(timer_->getMicroseconds());
}

void AudioClip::releaseStream() {
    alSourceStop(source_);
    ALint queued = 0;
    alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
    for (ALint i = 0; i < queued; ++i) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(source_, 1, &buffer);
    }
    alDeleteSources(1, &source_);
    alDeleteBuffers(kQueuedBufferCount, buffers_.data());
    sampleRate_ = 0;
    blockSize_ = 0;
    format_ = 0;
    staging_.reset();
    spareCount_ = 0;
    paused_ = true;
    started_ = false;
}

}  // namespace Ogre
