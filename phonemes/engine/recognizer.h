#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "audio_source.h"
#include "phone_set.h"

namespace phonemes::engine {

class SpeechModel;

// Times of results are given in 100-ns units, as speech results count them.
inline constexpr std::uint64_t kHundredNsPerModelSample = 10'000'000 / kModelSampleRate;

// Where one phone of a recognised word lies, as the phone pass placed it against the audio.
struct PhoneSpan {
    // In samples of the 16 kHz model stream from the start of the file.
    std::uint64_t startSample = 0;
    std::uint64_t sampleCount = 0;
    // The same in bytes of the source stream's format: from the phrase's first byte to the
    // phone's first byte, and the phone's length.
    std::uint64_t streamOffset = 0;
    std::uint64_t streamSize = 0;
};

struct RecognizedWord {
    // The plain word for dictation ("read", also when recognised as its alternate "read(2)");
    // for a transcript, the word as the transcript writes it ("Hello,").
    std::string text;
    // The pronunciation the word was recognised with, as phone IDs (without the terminating 0).
    std::vector<PhoneId> phones;
    // Where the word lies, in samples of the 16 kHz model stream from the start of the file.
    std::uint64_t startSample = 0;
    std::uint64_t sampleCount = 0;
    // The same in bytes of the source stream's format (AudioSource::format()): from the
    // phrase's first byte to the word's first byte, and the word's length.
    std::uint64_t streamOffset = 0;
    std::uint64_t streamSize = 0;
    // One span per entry of phones, in the same order, when phone times were asked for and the
    // phone pass succeeded for the phrase; empty otherwise (the phones are then to be spread
    // over the word by their weights). The spans follow one another without gaps; the word
    // then starts where its first phone starts and ends where its last phone ends.
    std::vector<PhoneSpan> phoneSpans;
};

struct RecognizedPhrase {
    std::string text;  // the words' texts separated by single spaces
    // The audio the phrase was decoded from, in model samples from the start of the file.
    std::uint64_t startSample = 0;
    std::uint64_t sampleCount = 0;
    // The same in bytes of the source stream's format.
    std::uint64_t streamStart = 0;
    std::uint64_t streamSize = 0;
    std::vector<RecognizedWord> words;

    // Start and length in 100-ns units.
    std::uint64_t startTime() const { return startSample * kHundredNsPerModelSample; }
    std::uint64_t duration() const { return sampleCount * kHundredNsPerModelSample; }
};

enum class PhraseKind {
    kRecognition,       // the phrase was recognised
    kFalseRecognition,  // speech that could not be recognised; words holds what could be placed
};

// Receives what a Recognizer finds, on the thread that runs it.
class RecognitionListener {
  public:
    virtual ~RecognitionListener() = default;
    // The best words so far of the phrase being decoded; only when they have changed.
    virtual void onHypothesis(const std::string& text) = 0;
    // A finished phrase, in the order of the audio.
    virtual void onPhrase(const RecognizedPhrase& phrase, PhraseKind kind) = 0;
    // The whole source has been recognised: after the last phrase. streamSize is the length of
    // the source in bytes of its stream format.
    virtual void onEndOfStream(std::uint64_t streamSize) = 0;
};

// How a Recognizer times the phones of the words it finds.
struct RecognizerOptions {
    // Align every recognised word's phones against the audio (RecognizedWord::phoneSpans). A
    // transcript is then aligned phone by phone in its one pass; dictation aligns the phones
    // of each phrase's words in a second pass over the phrase, which it holds in memory (a
    // phrase lasts 60 s at most). Without it, results are exactly those of a recogniser that
    // has no phone pass.
    bool alignPhones = false;
};

// Recognises one audio source at a time with the process's shared model. Every call ends with
// onEndOfStream, unless it was stopped: then it returns early without it. Files are recognised
// one after another: a second caller waits until the first has finished.
class Recognizer {
  public:
    explicit Recognizer(SpeechModel& model, RecognizerOptions options = {});

    // Free dictation over the whole source with the language model, cut into phrases at pauses.
    // A phrase in which no word is recognised is a false recognition; a silent or empty source
    // gives no phrase.
    void recognizeDictation(AudioSource& source, RecognitionListener& listener,
                            std::stop_token stop = {});

    // The transcript's words (cut at spaces), in order, aligned to the whole source as one
    // phrase. Words are looked up without regard to case and without surrounding punctuation;
    // words the dictionary lacks get espeak-ng's pronunciation (a number written in digits is
    // said as espeak-ng reads it: "66" is "sixty six"). The transcript is listened for only as
    // far as the audio could hold it, so its length costs neither time nor memory beyond that.
    // When the audio cannot hold the whole transcript the phrase is a false recognition with
    // the words that could be placed; a transcript without words matches nothing (a false
    // recognition when the source holds speech). A silent or empty source gives no phrase.
    // A source known to be longer than 60 s is aligned stretch by stretch, each stretch with
    // its part of the transcript, so that time grows with its length and memory stays bounded
    // (long_alignment.h); its result is the same one phrase.
    void recognizeTranscript(AudioSource& source, std::string_view transcript,
                             RecognitionListener& listener, std::stop_token stop = {});

  private:
    SpeechModel& model_;
    RecognizerOptions options_;
};

}  // namespace phonemes::engine
