#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace phonemes::engine {

// 10 ms of 16 kHz audio: the unit in which speech and pauses are told apart.
inline constexpr std::size_t kDetectorFrameSamples = 160;

// Tells speech from silence frame by frame: a frame is speech when its energy stands clearly
// above the quietest frames of the last few seconds (the noise floor) and above a level below
// which nothing is taken for speech.
class SpeechDetector {
  public:
    bool isSpeech(std::span<const std::int16_t, kDetectorFrameSamples> frame);

  private:
    std::vector<float> recentEnergies_;  // dBFS of the latest frames, a ring
    std::size_t next_ = 0;
};

// Receives the phrases that a PhraseCutter finds, in order.
class PhraseSink {
  public:
    virtual ~PhraseSink() = default;
    // A phrase begins at this sample of the stream; its audio follows.
    virtual void phraseBegins(std::uint64_t startSample) = 0;
    // The next samples of the open phrase, without gaps.
    virtual void phraseAudio(std::span<const std::int16_t> samples) = 0;
    // The phrase ends before this sample.
    virtual void phraseEnds(std::uint64_t endSample) = 0;
};

// Cuts a 16 kHz mono stream into phrases at pauses. A phrase begins a little before the first
// speech after a pause (so the decoder hears the onset and some silence) and ends once the
// speech has paused long enough; silence between phrases is not passed on. Memory stays
// constant: only the lead-in of a possible phrase is held back.
class PhraseCutter {
  public:
    // Speech must last this long to open a phrase: a click does not.
    static constexpr std::size_t kOnsetFrames = 3;
    // Audio kept before the onset.
    static constexpr std::size_t kLeadInFrames = 30;
    // A pause this long ends a phrase (the usual end-of-phrase silence of dictation).
    static constexpr std::size_t kPauseFrames = 50;
    // A phrase this long ends at its next silent frame, and at the latest at kMaxPhraseFrames,
    // which bounds the decoder's memory in speech without pauses.
    static constexpr std::size_t kLongPhraseFrames = 3000;
    static constexpr std::size_t kMaxPhraseFrames = 6000;

    explicit PhraseCutter(PhraseSink& sink) : sink_(sink) {}

    // The next samples of the stream, in blocks of any size.
    void push(std::span<const std::int16_t> samples);
    // The stream has ended: an open phrase ends with it.
    void finish();

    bool inPhrase() const { return open_; }

  private:
    using Frame = std::array<std::int16_t, kDetectorFrameSamples>;

    void takeFrame(const Frame& frame);

    PhraseSink& sink_;
    SpeechDetector detector_;
    Frame partial_{};
    std::size_t partialSize_ = 0;
    std::uint64_t frameIndex_ = 0;  // frames seen so far
    std::deque<Frame> leadIn_;      // held frames, the first at leadInStart_
    std::uint64_t leadInStart_ = 0;
    std::size_t speechRun_ = 0;  // consecutive speech frames outside a phrase
    bool open_ = false;
    std::size_t phraseFrames_ = 0;
    std::size_t silentRun_ = 0;
};

}  // namespace phonemes::engine
