#include <belvane/OgreAudioClip.h>

#include "PluginLog.h"

#include <AL/al.h>
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

// Padding with zero bytes would make 8-bit blocks end in a full-scale click, not in silence.
unsigned char silenceOf(ALenum format) {
    constexpr unsigned char kSilence8Bit = 0x80;
    return format == AL_FORMAT_MONO8 || format == AL_FORMAT_STEREO8 ? kSilence8Bit : 0;
}

}  // namespace

AudioClip::AudioClip() : timer_(std::make_unique<Timer>()) {}

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

    startOffsetMs_ = startOffsetMs;
    pausedTotalMs_ = 0;
    pauseStartMs_ = 0;
    holdingClock_ = false;
    return true;
}

bool AudioClip::startAudioStream() {
    logNormal(kStartMessage);
    // Before openAudioStream or after closeAudioStream there is nothing to read into or play.
    if (!isOpen()) {
        return true;
    }
    // Four blocks always, silent ones included, so the queue has its full length from the start.
    for (ALuint buffer : buffers_) {
        readBlock();
        uploadBlock(buffer);
    }
    alSourceQueueBuffers(source_, kQueuedBufferCount, buffers_.data());
    spareCount_ = 0;
    alSourcePlay(source_);
    timer_->reset();
    paused_ = false;
    holdingClock_ = false;
    return true;
}

void AudioClip::autoUpdate() {
    if (!isOpen()) {
        return;
    }
    // A source that ran dry before the host paused stays stopped through the pause. A stopped
    // source reports every queued buffer as processed, so refilling it now would throw away
    // fresh audio queued on it.
    if (paused_ && sourceState() == AL_STOPPED) {
        return;
    }

    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    int refillable = std::max(processed, 0) + spareCount_;
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
        } else {
            buffer = takeSpareBuffer();
        }
        uploadBlock(buffer);
        alSourceQueueBuffers(source_, 1, &buffer);
        ++refilled;
        // The ring buffer is drained; the other buffers wait for the next frame.
        if (bytesRead < blockSize_) {
            break;
        }
    }

    const ALint state = sourceState();
    if (state == AL_PLAYING) {
        return;
    }
    if (state == AL_STOPPED) {
        // The source ran dry. Every buffer queued before this call's refills has played, and
        // alSourcePlay on a stopped source would play them all again: set them aside.
        unqueueAsSpares(queuedBufferCount() - refilled);
    }
    // A paused clip stays silent until the host resumes it; a dry one waits for fresh audio.
    if (!paused_ && queuedBufferCount() > 0) {
        alSourcePlay(source_);
    }
}

void AudioClip::setAudioStreamPause(bool pause) {
    if (pause == paused_) {
        return;
    }
    paused_ = pause;
    if (pause) {
        if (isOpen()) {
            alSourcePause(source_);
        }
        pauseStartMs_ = runningClock();
        holdingClock_ = true;
        return;
    }
    if (isOpen()) {
        if (sourceState() == AL_STOPPED) {
            // It ran dry before the pause, so what it holds has played; autoUpdate starts it
            // again once fresh audio arrives.
            unqueueAsSpares(queuedBufferCount());
        } else {
            alSourcePlay(source_);
        }
    }
    if (holdingClock_) {
        // Take the pause off, so the clock goes on from the value it held.
        pausedTotalMs_ += runningClock() - pauseStartMs_;
        holdingClock_ = false;
    }
}

float AudioClip::getAudioStreamTime() {
    return static_cast<float>(holdingClock_ ? pauseStartMs_ : runningClock());
}

bool AudioClip::closeAudioStream() {
    logNormal(kCloseMessage);
    // A second close must not delete names that OpenAL may have handed to another clip since.
    if (isOpen()) {
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

void AudioClip::uploadBlock(ALuint buffer) {
    alBufferData(buffer, format_, staging_.get(), static_cast<ALsizei>(blockSize_),
                 static_cast<ALsizei>(sampleRate_));
}

ALuint AudioClip::takeSpareBuffer() {
    return spares_[--spareCount_];
}

void AudioClip::unqueueAsSpares(int count) {
    if (count <= 0) {
        return;
    }
    alSourceUnqueueBuffers(source_, count, spares_.data() + spareCount_);
    spareCount_ += count;
}

int AudioClip::sourceState() {
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state;
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
}

std::uint32_t AudioClip::runningClock() {
    return static_cast<std::uint32_t>(timer_->getMilliseconds()) + startOffsetMs_ - pausedTotalMs_;
}

}  // namespace Ogre
