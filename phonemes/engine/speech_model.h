#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace phonemes::engine {

// The model could not be loaded. what() is a one-line reason.
class ModelLoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the model is read from: $PHONEMES_MODEL_DIR when set and not empty, else the folder of
// Debian's pocketsphinx-en-us package. The folder holds the acoustic model folder "en-us", the
// language model "en-us.lm.bin" and the dictionary "cmudict-en-us.dict".
std::filesystem::path modelDirectory();

// The pronunciations one word of a grammar may be said with, each in the dictionary's phone
// symbols separated by spaces ("HH AH L OW").
using WordPronunciations = std::vector<std::string>;

// One stretch of a decoded phrase, in 10 ms frames counted from the phrase's first sample.
struct DecodedSegment {
    std::string word;  // as the dictionary names it: "read(2)" for an alternate pronunciation
    int firstFrame = 0;
    int lastFrame = 0;    // inclusive
    bool filler = false;  // silence, noise, sentence start or end, or an empty transition
};

// The acoustic model, dictionary and language model with the one decoder that uses them.
// PocketSphinx decoders are not thread-safe, and this one's dictionary grows with the words
// that transcripts add, so nothing of it is shared with another model: threads that recognise
// at the same time each use their own (forThisThread). Every decoder call needs the lock from
// lock(); a later file or recogniser reuses everything already loaded.
class SpeechModel {
  public:
    static constexpr int kFrameSamples = 160;  // one 10 ms frame at 16 kHz
    // The aligner's frames are 6.25 ms: its phones may be as short as 19 ms (three frames of
    // the model's phone shape), and real speech has many shorter than the 30 ms of 10 ms frames.
    static constexpr int kAlignerFrameSamples = 100;

    // The process's model, loaded on first use (thread-safe). Throws ModelLoadError; a later
    // call tries again.
    static SpeechModel& shared();
    // The calling thread's own model, loaded on its first use there and freed when the thread
    // ends; several threads load theirs at the same time. Throws ModelLoadError; a later call
    // tries again.
    static SpeechModel& forThisThread();

    ~SpeechModel();
    SpeechModel(const SpeechModel&) = delete;
    SpeechModel& operator=(const SpeechModel&) = delete;

    [[nodiscard]] std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex_); }

    // The companion model that aligns phones against audio: the same acoustic model and
    // dictionary at 160 frames a second, without the language model. Loaded on its first use
    // (about 0.2 s) and kept with this model, so it belongs to the same thread. Needs this
    // model's lock; the aligner has a lock of its own, to be taken after this model's. Throws
    // ModelLoadError; a later call tries again.
    SpeechModel& aligner();
    // Samples per frame of this model's decoder: kFrameSamples, or kAlignerFrameSamples for an
    // aligner.
    int frameSamples() const { return frameSamples_; }

    // The decoder's configuration as command-line arguments (name, value, name, value, ...),
    // so that a comparison can build an identical decoder.
    const std::vector<std::string>& arguments() const { return arguments_; }

    // --- The calls below need the lock. ---

    // The dictionary's pronunciation of a word ("word" or "word(2)"), in its own phone symbols
    // separated by spaces; none when the dictionary lacks the word.
    std::optional<std::string> pronunciationOf(const std::string& word) const;
    // Adds a word with a pronunciation in the dictionary's phone symbols. Grammars set later
    // may use it; free dictation is left as it was loaded. False when the decoder refuses it.
    bool addWord(const std::string& word, const std::string& pronunciation);

    // Makes the next phrases use the language model.
    bool useDictation();
    // Makes the next phrases use a grammar of exactly these dictionary words in this order,
    // with optional silence and noise between them.
    bool useWordSequence(std::span<const std::string> words);
    // Makes the next phrases use a grammar whose words are single phones: the words in this
    // order, each said with one of its pronunciations (dictionary phone symbols separated by
    // spaces), with optional silence between words but not inside them. Each phone then comes
    // back as a segment of its own, named by its symbol ("HH"). False when a pronunciation
    // holds a symbol the model lacks.
    bool usePhoneSequence(std::span<const WordPronunciations> wordPronunciations);

    // The normalisation of the spectrum as it stands now, with what it has learnt so far, to
    // be restored later: a second pass over a phrase must not change how the phrases after it
    // are decoded.
    struct Normalisation {
        std::vector<float> mean;
        std::vector<float> sum;
        int frames = 0;
    };
    Normalisation normalisation() const;
    void restoreNormalisation(const Normalisation& saved);

    // Starts a file: the normalisation of the spectrum goes back to the model's prior and the
    // cepstra kept from the phrase before are cleared, so that a file is decoded the same way
    // whatever was decoded before it. Within the file the decoder adapts the normalisation from
    // phrase to phrase.
    void beginFile();
    // Sets the normalisation for the phrase about to begin from its opening stretch of audio
    // (which is not decoded here): its average spectrum, as the acoustic model was trained on
    // utterances normalised by their own average.
    void normaliseTo(std::span<const std::int16_t> opening);
    // What the deltas of a phrase's first frames are taken against. As the audio streams in, the
    // feature stage takes them against the cepstra the phrase before left in its ring (cleared
    // for each file). Or the ring is filled with copies of the phrase's own first frame, as the
    // decoder does for audio given to it whole, so that the phrase's opening is scored on its
    // own audio alone; the phrase's first tenth of a second or so is then held back until the
    // decoder can take it in one block.
    enum class OpeningContext { kStreamed, kOwnFirstFrame };
    // Starts a phrase; its frames count from 0.
    bool beginPhrase(OpeningContext context = OpeningContext::kStreamed);
    // Decodes the next samples of the phrase (16 kHz, mono).
    bool process(std::span<const std::int16_t> samples);
    // The best words so far (plain words, separated by spaces); empty when none.
    std::string partialText() const;
    // The best path so far while the phrase is still open. With a word sequence it ends after
    // the last word fully heard even when the sequence cannot be completed.
    std::vector<DecodedSegment> partialSegments() const;
    // Ends the phrase. Afterwards finalSegments() gives the best path through the whole phrase.
    bool endPhrase();
    // The final path of the phrase just ended; empty when no path reaches the end of the
    // grammar (a word sequence that the audio cannot hold).
    std::vector<DecodedSegment> finalSegments() const;

  private:
    struct Decoder;
    enum class Purpose { kRecognition, kAlignment };
    SpeechModel(std::vector<std::string> arguments, std::unique_ptr<Decoder> decoder,
                int frameSamples);
    static std::unique_ptr<SpeechModel> load(Purpose purpose = Purpose::kRecognition);

    std::mutex mutex_;
    // Declared before the decoder, whose configuration was parsed from these strings.
    std::vector<std::string> arguments_;
    std::unique_ptr<Decoder> decoder_;
    int frameSamples_;
    std::unique_ptr<SpeechModel> aligner_;
};

}  // namespace phonemes::engine
