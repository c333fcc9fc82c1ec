#include "phrase_cutter.h"

#include <algorithm>
#include <cmath>

namespace phonemes::engine {

namespace {

// The noise floor is the quietest frame of the last three seconds.
constexpr std::size_t kNoiseWindowFrames = 300;
// Speech stands this far above the noise floor...
constexpr float kSpeechAboveNoiseDb = 12.0f;
// ...and above this level (dB relative to full scale).
constexpr float kQuietestSpeechDb = -60.0f;
// What digital silence counts as, instead of minus infinity.
constexpr float kSilenceDb = -100.0f;
constexpr double kFullScale = 32768.0;

float energyDb(std::span<const std::int16_t, kDetectorFrameSamples> frame) {
    double sum = 0.0;
    for (std::int16_t sample : frame) {
        sum += static_cast<double>(sample) * sample;
    }
    const double power = sum / (kFullScale * kFullScale * kDetectorFrameSamples);
    if (power <= 0.0) {
        return kSilenceDb;
    }
    return std::max(kSilenceDb, static_cast<float>(10.0 * std::log10(power)));
}

}  // namespace

bool SpeechDetector::isSpeech(std::span<const std::int16_t, kDetectorFrameSamples> frame) {
    const float energy = energyDb(frame);
    if (recentEnergies_.size() < kNoiseWindowFrames) {
        recentEnergies_.push_back(energy);
    } else {
        recentEnergies_[next_] = energy;
        next_ = (next_ + 1) % kNoiseWindowFrames;
    }
    const float noiseFloor = *std::min_element(recentEnergies_.begin(), recentEnergies_.end());
    return energy > noiseFloor + kSpeechAboveNoiseDb && energy > kQuietestSpeechDb;
}

void PhraseCutter::push(std::span<const std::int16_t> samples) {
    while (!samples.empty()) {
        const std::size_t count = std::min(samples.size(), kDetectorFrameSamples - partialSize_);
        std::copy_n(samples.begin(), count, partial_.begin() + partialSize_);
        partialSize_ += count;
        samples = samples.subspan(count);
        if (partialSize_ == kDetectorFrameSamples) {
            takeFrame(partial_);
            partialSize_ = 0;
        }
    }
}

void PhraseCutter::takeFrame(const Frame& frame) {
    const bool speech = detector_.isSpeech(frame);
    const std::uint64_t index = frameIndex_++;

    if (!open_) {
        leadIn_.push_back(frame);
        if (leadIn_.size() > kLeadInFrames + kOnsetFrames) {
            leadIn_.pop_front();
            ++leadInStart_;
        }
        speechRun_ = speech ? speechRun_ + 1 : 0;
        if (speechRun_ < kOnsetFrames) {
            return;
        }
        const std::uint64_t onset = index + 1 - speechRun_;
        const std::uint64_t start = std::max<std::uint64_t>(
            leadInStart_, onset > kLeadInFrames ? onset - kLeadInFrames : 0);
        while (leadInStart_ < start) {
            leadIn_.pop_front();
            ++leadInStart_;
        }
        open_ = true;
        phraseFrames_ = leadIn_.size();
        silentRun_ = 0;
        sink_.phraseBegins(start * kDetectorFrameSamples);
        for (const Frame& held : leadIn_) {
            sink_.phraseAudio(held);
        }
        leadIn_.clear();
        leadInStart_ = index + 1;
        return;
    }

    sink_.phraseAudio(frame);
    ++phraseFrames_;
    silentRun_ = speech ? 0 : silentRun_ + 1;
    const bool paused = silentRun_ >= kPauseFrames;
    const bool tooLong =
        (phraseFrames_ >= kLongPhraseFrames && !speech) || phraseFrames_ >= kMaxPhraseFrames;
    if (paused || tooLong) {
        open_ = false;
        speechRun_ = 0;
        leadInStart_ = index + 1;
        sink_.phraseEnds((index + 1) * kDetectorFrameSamples);
    }
}

void PhraseCutter::finish() {
    // A tail shorter than a frame cannot open a phrase but belongs to an open one.
    if (open_) {
        if (partialSize_ > 0) {
            sink_.phraseAudio(std::span(partial_).first(partialSize_));
        }
        open_ = false;
        sink_.phraseEnds(frameIndex_ * kDetectorFrameSamples + partialSize_);
    }
    partialSize_ = 0;
}

}  // namespace phonemes::engine
