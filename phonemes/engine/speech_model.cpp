#include "speech_model.h"

#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/fe.h>
#include <sphinxbase/feat.h>
#include <sphinxbase/fsg_model.h>

#include "phone_set.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <set>
#include <system_error>

namespace phonemes::engine {

namespace {

constexpr const char* kModelDirVariable = "PHONEMES_MODEL_DIR";
constexpr const char* kDefaultModelDir = "/usr/share/pocketsphinx/model/en-us";
constexpr const char* kAcousticModel = "en-us";
constexpr const char* kLanguageModel = "en-us.lm.bin";
constexpr const char* kDictionary = "cmudict-en-us.dict";
// A new transcript's search is made under the one of these names that the search before it does
// not use, so that the one before can go once the new one is active.
constexpr std::array<const char*, 2> kTranscriptSearches = {"phonemes_transcript",
                                                            "phonemes_transcript_next"};
// The name PocketSphinx gives the search it makes from the -lm language model. (Asking for the
// current search's name instead, ps_get_search, leaks an iterator in this version.)
constexpr const char* kDictationSearch = "_default";
// A transcript's grammar is a single chain of words, so its search can afford beams far wider
// than dictation's; with dictation's beams the right path through a correct transcript is now
// and then pruned and the transcript cannot be placed.
constexpr double kAlignmentBeam = 1e-80;
constexpr double kAlignmentWordBeam = 1e-60;
// A grammar of single phones needs wider beams still: every phone ends a "word", so the
// word-exit beam prunes between phones, and phones without their neighbours inside a word
// score the right path lower along the way. With the word grammar's beams the right path
// through fast speech was now and then lost after a few phones.
constexpr double kPhoneGrammarBeam = 1e-120;
// Exact digital silence (a run of zero samples) is unlike anything the acoustic model was
// trained on: its features sit at the front end's floor, and speech next to it is then now and
// then taken for silence. One bit of noise, the same for every phrase, makes it ordinary
// silence.
constexpr std::uint32_t kDitherSeed = 0x9E3779B9u;

// Adds -1, 0 or +1 to every sample, from a small deterministic generator.
void dither(std::span<const std::int16_t> samples, std::uint32_t& state,
            std::vector<std::int16_t>& out) {
    out.resize(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        state = state * 1664525u + 1013904223u;  // a linear congruential generator
        const int noise = static_cast<int>(state >> 30) % 3 - 1;
        out[i] = static_cast<std::int16_t>(std::clamp(samples[i] + noise, -32768, 32767));
    }
}

struct DecoderFree {
    void operator()(ps_decoder_t* decoder) const { ps_free(decoder); }
};
using DecoderHandle = std::unique_ptr<ps_decoder_t, DecoderFree>;

struct ConfigFree {
    void operator()(cmd_ln_t* config) const { cmd_ln_free_r(config); }
};
using ConfigHandle = std::unique_ptr<cmd_ln_t, ConfigFree>;

struct FsgFree {
    void operator()(fsg_model_t* fsg) const { fsg_model_free(fsg); }
};
using FsgHandle = std::unique_ptr<fsg_model_t, FsgFree>;

struct CepstraFree {
    void operator()(mfcc_t** cepstra) const { fe_free_2d(cepstra); }
};

struct TextFree {
    void operator()(char* text) const { std::free(text); }
};

// A phone that stands as a word of its own in a phone grammar is named with this prefix, which
// no dictionary word has.
constexpr std::string_view kPhoneWordPrefix = "phone:";
constexpr const char* kSilenceWord = "<sil>";
// Silence between the words of a phone grammar. With dictation's far lower probability the
// search would rather stretch a word's first phone over the pause before it than enter silence.
// Between 0.01 and 1 the benchmark's two synthetic voices pull opposite ways: more silence puts
// fewer of espeak-ng's word starts near its own, less fewer of flite's. Both are best served
// about here.
constexpr float32 kPhoneGrammarSilenceProbability = 0.03f;

std::string phoneWordOf(std::string_view phone) {
    return std::string(kPhoneWordPrefix) + std::string(phone);
}

// "phone:HH" is the phone HH; any other word stays as it is.
std::string_view withoutPhonePrefix(std::string_view word) {
    return word.starts_with(kPhoneWordPrefix) ? word.substr(kPhoneWordPrefix.size()) : word;
}

// Silence, noise, sentence markers and the grammar's empty transitions carry no word.
bool isFiller(std::string_view word) {
    if (word.empty() || word == "(NULL)") {
        return true;
    }
    const char first = word.front();
    const char last = word.back();
    return (first == '<' && last == '>') || (first == '[' && last == ']') || word.starts_with("++");
}

// The aligner's frame rate (SpeechModel::kAlignerFrameSamples at 16 kHz) and analysis window.
// Faster rates and shorter windows time real speech's short phones better but score its
// features further from those the model was trained on (100 frames a second, 25.6 ms windows).
// Swept on hand-labelled real speech with the synthetic voices as a check: 200 frames a second
// put more phone starts within 20 ms but fewer word starts within 50 ms, and costs more; with
// windows shorter than 24 ms a fast synthetic utterance lost its place for a word.
constexpr const char* kAlignerFrameRate = "160";
constexpr const char* kAlignerWindowSeconds = "0.024";

// The recogniser's decoder has the language model; the aligner has none, and frames of its own.
std::vector<std::string> decoderArguments(const std::filesystem::path& dir, bool forAlignment) {
    std::vector<std::string> arguments = {
        "-hmm",
        (dir / kAcousticModel).string(),
        "-dict",
        (dir / kDictionary).string(),
        // The voice detector that drops silent frames also shifts the frame numbers of the
        // words, so every frame is kept; phrases are cut at pauses before the decoder.
        "-remove_silence",
        "no",
    };
    if (forAlignment) {
        arguments.insert(arguments.end(),
                         {"-frate", kAlignerFrameRate, "-wlen", kAlignerWindowSeconds});
    } else {
        arguments.insert(arguments.end(), {"-lm", (dir / kLanguageModel).string()});
    }
    return arguments;
}

// PocketSphinx logs through one process-wide file. A decoder given a log file ("-logfn") opens
// it and closes the one before, which a decoder loading on another thread may be writing to at
// that moment; so the log is switched off once, for every decoder, before the first loads.
void silenceDecoderLog() {
    static std::once_flag silenced;
    std::call_once(silenced, [] { err_set_logfp(nullptr); });
}

// The samples the decoder's first block must bring for it to hand on frames at once: its front
// end holds back the frames of a phrase's opening until enough of them look like speech (with
// silence kept, every frame does).
std::size_t samplesBeforeFirstFrames(ps_decoder_t* decoder, cmd_ln_t* config) {
    int frameShift = 0;
    int frameSize = 0;
    fe_get_input_size(ps_get_fe(decoder), &frameShift, &frameSize);
    const int heldFrames = std::max(cmd_ln_int32_r(config, "-vad_startspeech"), 1);
    return static_cast<std::size_t>(frameSize + (heldFrames - 1) * frameShift);
}

}  // namespace

std::filesystem::path modelDirectory() {
    const char* fromEnvironment = std::getenv(kModelDirVariable);
    if (fromEnvironment && *fromEnvironment) {
        return fromEnvironment;
    }
    return kDefaultModelDir;
}

struct SpeechModel::Decoder {
    DecoderHandle decoder;
    std::vector<mfcc_t> initialCepstralMean;
    float languageWeight = 1.0f;
    bool hasTranscriptSearch = false;
    std::size_t transcriptSearch = 0;  // which of kTranscriptSearches is in use
    std::uint32_t ditherState = kDitherSeed;
    std::vector<std::int16_t> dithered;
    // With the ring filled from a phrase's own first frame, the phrase's opening is held back
    // until the decoder's first block can bring frames: it only fills the ring then.
    bool holdingOpening = false;
    std::vector<std::int16_t> heldOpening;
    std::size_t samplesForFirstFrames = 0;
    std::set<std::string, std::less<>> phoneWords;  // phones added as words of their own

    ps_decoder_t* get() const { return decoder.get(); }
    bool ensurePhoneWord(const std::string& phone);
    // Makes a transcript's grammar the current search, with these beams (for states and phones,
    // and for word exits), and with silence and noise added between its words by the search
    // when asked.
    bool useTranscriptSearch(FsgHandle fsg, double beam, double wordExitBeam, bool addFillers);
    std::vector<DecodedSegment> segments() const;
    void setCepstralMean(const std::vector<mfcc_t>& mean);
    void clearCepstrumHistory();
    std::optional<std::vector<mfcc_t>> averageCepstrum(std::span<const std::int16_t> opening);
    bool decode(std::span<const std::int16_t> samples);
    bool releaseOpening();
};

std::vector<DecodedSegment> SpeechModel::Decoder::segments() const {
    std::vector<DecodedSegment> result;
    for (ps_seg_t* seg = ps_seg_iter(get()); seg; seg = ps_seg_next(seg)) {
        DecodedSegment segment;
        const char* word = ps_seg_word(seg);
        segment.word = withoutPhonePrefix(word ? word : "");
        ps_seg_frames(seg, &segment.firstFrame, &segment.lastFrame);
        segment.filler = isFiller(segment.word);
        result.push_back(std::move(segment));
    }
    return result;
}

SpeechModel::SpeechModel(std::vector<std::string> arguments, std::unique_ptr<Decoder> decoder,
                         int frameSamples)
    : arguments_(std::move(arguments)), decoder_(std::move(decoder)), frameSamples_(frameSamples) {}

SpeechModel::~SpeechModel() = default;

SpeechModel& SpeechModel::shared() {
    static std::mutex loadMutex;
    static std::unique_ptr<SpeechModel> model;
    std::lock_guard guard(loadMutex);
    if (!model) {
        model = load();
    }
    return *model;
}

SpeechModel& SpeechModel::forThisThread() {
    thread_local std::unique_ptr<SpeechModel> model;
    if (!model) {
        model = load();
    }
    return *model;
}

SpeechModel& SpeechModel::aligner() {
    if (!aligner_) {
        aligner_ = load(Purpose::kAlignment);
    }
    return *aligner_;
}

std::unique_ptr<SpeechModel> SpeechModel::load(Purpose purpose) {
    const bool recognition = purpose == Purpose::kRecognition;
    silenceDecoderLog();
    const std::filesystem::path dir = modelDirectory();
    for (const char* part : {kAcousticModel, kLanguageModel, kDictionary}) {
        std::error_code error;
        if (!std::filesystem::exists(dir / part, error)) {
            throw ModelLoadError("speech model part missing: " + (dir / part).string());
        }
    }
    std::vector<std::string> arguments = decoderArguments(dir, !recognition);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    // The configuration keeps pointers into argv's strings; they live until it is freed.
    ConfigHandle config(
        cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE));
    if (!config) {
        throw ModelLoadError("speech model configuration refused for " + dir.string());
    }
    auto decoder = std::make_unique<Decoder>();
    decoder->decoder.reset(ps_init(config.get()));
    if (!decoder->decoder) {
        throw ModelLoadError("cannot load the speech model from " + dir.string());
    }
    decoder->languageWeight = cmd_ln_float32_r(config.get(), "-lw");
    if (recognition && !ps_get_lm(decoder->get(), kDictationSearch)) {
        throw ModelLoadError("no language model search in the speech model from " + dir.string());
    }
    if (const feat_t* feat = ps_get_feat(decoder->get()); feat && feat->cmn_struct) {
        decoder->initialCepstralMean.resize(static_cast<std::size_t>(feat->cmn_struct->veclen));
        cmn_live_get(feat->cmn_struct, decoder->initialCepstralMean.data());
    }
    decoder->samplesForFirstFrames = samplesBeforeFirstFrames(decoder->get(), config.get());
    // The decoder holds its own reference to the configuration.
    config.reset();

    return std::unique_ptr<SpeechModel>(
        new SpeechModel(std::move(arguments), std::move(decoder),
                        recognition ? kFrameSamples : kAlignerFrameSamples));
}

std::optional<std::string> SpeechModel::pronunciationOf(const std::string& word) const {
    std::unique_ptr<char, TextFree> phones(ps_lookup_word(decoder_->get(), word.c_str()));
    if (!phones) {
        return std::nullopt;
    }
    return std::string(phones.get());
}

bool SpeechModel::addWord(const std::string& word, const std::string& pronunciation) {
    // Without an update the language model search keeps the lexicon it was built with, so
    // words added for one transcript never change later dictation.
    return ps_add_word(decoder_->get(), word.c_str(), pronunciation.c_str(), FALSE) >= 0;
}

bool SpeechModel::useDictation() {
    return ps_set_search(decoder_->get(), kDictationSearch) == 0;
}

bool SpeechModel::useWordSequence(std::span<const std::string> words) {
    if (words.empty()) {
        return false;
    }
    ps_decoder_t* ps = decoder_->get();
    const auto stateCount = static_cast<int32>(words.size() + 1);
    FsgHandle fsg(fsg_model_init(kTranscriptSearches[0], ps_get_logmath(ps),
                                 decoder_->languageWeight, stateCount));
    if (!fsg) {
        return false;
    }
    fsg->start_state = 0;
    fsg->final_state = stateCount - 1;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const int wordId = fsg_model_word_add(fsg.get(), words[i].c_str());
        const auto from = static_cast<int32>(i);
        // Probability 1: the words follow one another; silence and noise are added between
        // them by the search itself.
        fsg_model_trans_add(fsg.get(), from, from + 1, 0, wordId);
    }
    return decoder_->useTranscriptSearch(std::move(fsg), kAlignmentBeam, kAlignmentWordBeam, true);
}

bool SpeechModel::usePhoneSequence(std::span<const WordPronunciations> wordPronunciations) {
    if (wordPronunciations.empty()) {
        return false;
    }
    std::vector<std::vector<std::vector<std::string>>> words;
    std::size_t stateCount = wordPronunciations.size() + 1;
    for (const WordPronunciations& pronunciations : wordPronunciations) {
        auto& alternatives = words.emplace_back();
        for (const std::string& pronunciation : pronunciations) {
            std::vector<std::string> phones = pronunciationSymbols(pronunciation);
            if (phones.empty()) {
                return false;
            }
            for (const std::string& phone : phones) {
                if (!decoder_->ensurePhoneWord(phone)) {
                    return false;
                }
            }
            stateCount += phones.size() - 1;
            alternatives.push_back(std::move(phones));
        }
        if (alternatives.empty()) {
            return false;
        }
    }

    // Before each word, and after the last, a pause may stand: from boundary state b to the
    // state the word starts from (or the final state) either silence or nothing leads.
    // Pronunciations' inner states come after these.
    const auto boundaryCount = static_cast<int32>(words.size() + 1);
    const auto wordStart = [&](std::size_t i) { return static_cast<int32>(boundaryCount + i); };
    stateCount += static_cast<std::size_t>(boundaryCount);
    ps_decoder_t* ps = decoder_->get();
    FsgHandle fsg(fsg_model_init(kTranscriptSearches[0], ps_get_logmath(ps),
                                 decoder_->languageWeight, static_cast<int32>(stateCount)));
    if (!fsg) {
        return false;
    }
    fsg->start_state = 0;
    fsg->final_state = wordStart(words.size());
    const int silenceId = fsg_model_word_add(fsg.get(), kSilenceWord);
    const auto silenceLogProbability = static_cast<int32>(
        logmath_log(ps_get_logmath(ps), kPhoneGrammarSilenceProbability) * fsg->lw);
    for (int32 boundary = 0; boundary < boundaryCount; ++boundary) {
        const int32 after = wordStart(static_cast<std::size_t>(boundary));
        fsg_model_trans_add(fsg.get(), boundary, after, silenceLogProbability, silenceId);
        fsg_model_null_trans_add(fsg.get(), boundary, after, 0);
    }
    int32 nextInner = wordStart(words.size()) + 1;
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (const std::vector<std::string>& phones : words[i]) {
            int32 from = wordStart(i);
            for (std::size_t k = 0; k < phones.size(); ++k) {
                const bool last = k + 1 == phones.size();
                const int32 to = last ? static_cast<int32>(i + 1) : nextInner++;
                const int wordId = fsg_model_word_add(fsg.get(), phoneWordOf(phones[k]).c_str());
                fsg_model_trans_add(fsg.get(), from, to, 0, wordId);
                from = to;
            }
        }
    }
    // The grammar has all the silence it may have; the search adds none, nor noise.
    return decoder_->useTranscriptSearch(std::move(fsg), kPhoneGrammarBeam, kPhoneGrammarBeam,
                                         false);
}

bool SpeechModel::Decoder::ensurePhoneWord(const std::string& phone) {
    if (phoneWords.contains(phone)) {
        return true;
    }
    if (ps_add_word(get(), phoneWordOf(phone).c_str(), phone.c_str(), FALSE) < 0) {
        return false;
    }
    phoneWords.insert(phone);
    return true;
}

bool SpeechModel::Decoder::useTranscriptSearch(FsgHandle fsg, double searchBeam,
                                               double wordExitBeam, bool addFillers) {
    ps_decoder_t* ps = get();
    const std::size_t next = hasTranscriptSearch ? 1 - transcriptSearch : transcriptSearch;
    // The search takes its beams from the configuration when it is made; dictation's search
    // keeps the ones it was made with.
    cmd_ln_t* config = ps_get_config(ps);
    const double beam = cmd_ln_float_r(config, "-beam");
    const double phoneBeam = cmd_ln_float_r(config, "-pbeam");
    const double wordBeam = cmd_ln_float_r(config, "-wbeam");
    cmd_ln_set_float_r(config, "-beam", searchBeam);
    cmd_ln_set_float_r(config, "-pbeam", searchBeam);
    cmd_ln_set_float_r(config, "-wbeam", wordExitBeam);
    const bool fillers = cmd_ln_boolean_r(config, "-fsgusefiller");
    cmd_ln_set_boolean_r(config, "-fsgusefiller", addFillers);
    const int set = ps_set_fsg(ps, kTranscriptSearches[next], fsg.get());
    cmd_ln_set_boolean_r(config, "-fsgusefiller", fillers);
    cmd_ln_set_float_r(config, "-beam", beam);
    cmd_ln_set_float_r(config, "-pbeam", phoneBeam);
    cmd_ln_set_float_r(config, "-wbeam", wordBeam);
    if (set != 0 || ps_set_search(ps, kTranscriptSearches[next]) != 0) {
        return false;
    }
    // The previous transcript's search can go now that it is not the active one any more.
    if (hasTranscriptSearch) {
        ps_unset_search(ps, kTranscriptSearches[transcriptSearch]);
    }
    hasTranscriptSearch = true;
    transcriptSearch = next;
    return true;
}

SpeechModel::Normalisation SpeechModel::normalisation() const {
    Normalisation state;
    if (const feat_t* feat = ps_get_feat(decoder_->get()); feat && feat->cmn_struct) {
        const cmn_t& cmn = *feat->cmn_struct;
        const auto size = static_cast<std::size_t>(cmn.veclen);
        state.mean.assign(cmn.cmn_mean, cmn.cmn_mean + size);
        state.sum.assign(cmn.sum, cmn.sum + size);
        state.frames = cmn.nframe;
    }
    return state;
}

void SpeechModel::restoreNormalisation(const Normalisation& saved) {
    const feat_t* feat = ps_get_feat(decoder_->get());
    if (!feat || !feat->cmn_struct) {
        return;
    }
    cmn_t& cmn = *feat->cmn_struct;
    const auto size = static_cast<std::size_t>(cmn.veclen);
    if (saved.mean.size() != size || saved.sum.size() != size) {
        return;
    }
    std::copy(saved.mean.begin(), saved.mean.end(), cmn.cmn_mean);
    std::copy(saved.sum.begin(), saved.sum.end(), cmn.sum);
    cmn.nframe = saved.frames;
}

std::optional<std::vector<mfcc_t>> SpeechModel::Decoder::averageCepstrum(
    std::span<const std::int16_t> opening) {
    fe_t* frontEnd = ps_get_fe(get());
    const std::size_t size = initialCepstralMean.size();
    if (!frontEnd || opening.empty() || fe_get_output_size(frontEnd) != static_cast<int>(size)) {
        return std::nullopt;
    }
    // Dithered exactly as the phrase will be.
    std::uint32_t state = kDitherSeed;
    std::vector<std::int16_t> samples;
    dither(opening, state, samples);
    // The decoder's own front end computes the cepstra, from a fresh stream: the noise estimate
    // left by the previous phrase would otherwise shape them, and with them this phrase's
    // result. The phrase started next resets the front end again.
    fe_start_stream(frontEnd);
    mfcc_t** frames = nullptr;
    int32 frameCount = 0;
    if (fe_start_utt(frontEnd) != 0) {
        return std::nullopt;
    }
    const int processed =
        fe_process_utt(frontEnd, samples.data(), samples.size(), &frames, &frameCount);
    const std::unique_ptr<mfcc_t*, CepstraFree> cepstra(frames);
    // The last, partial frame is left out.
    std::vector<mfcc_t> last(size);
    int32 lastCount = 0;
    fe_end_utt(frontEnd, last.data(), &lastCount);
    if (processed != 0 || !cepstra || frameCount <= 0) {
        return std::nullopt;
    }
    std::vector<mfcc_t> mean(size);
    for (int32 f = 0; f < frameCount; ++f) {
        for (std::size_t k = 0; k < size; ++k) {
            mean[k] += cepstra.get()[f][k];
        }
    }
    for (mfcc_t& value : mean) {
        value /= static_cast<mfcc_t>(frameCount);
    }
    return mean;
}

void SpeechModel::Decoder::setCepstralMean(const std::vector<mfcc_t>& mean) {
    feat_t* feat = ps_get_feat(get());
    if (feat && feat->cmn_struct && mean.size() == initialCepstralMean.size()) {
        cmn_live_set(feat->cmn_struct, mean.data());
    }
}

void SpeechModel::Decoder::clearCepstrumHistory() {
    feat_t* feat = ps_get_feat(get());
    if (!feat || !feat->cepbuf) {
        return;
    }
    // The feature stage keeps the last cepstra of the phrase before in a ring, and the deltas
    // of a phrase's first frames read the frames just before them there: PocketSphinx starts
    // a streamed phrase with an empty block, so it never copies the phrase's own first frame
    // into them. Zeroed and rewound, the ring is as the model left it when it was loaded.
    const auto cepstrumSize = static_cast<std::size_t>(feat_cepsize(feat));
    for (int row = 0; row < LIVEBUFBLOCKSIZE; ++row) {
        std::fill_n(feat->cepbuf[row], cepstrumSize, mfcc_t{});
    }
    feat->bufpos = 0;
    feat->curpos = 0;
}

void SpeechModel::beginFile() {
    decoder_->setCepstralMean(decoder_->initialCepstralMean);
    decoder_->clearCepstrumHistory();
}

void SpeechModel::normaliseTo(std::span<const std::int16_t> opening) {
    // An opening too short to measure keeps the current normalisation.
    if (const auto mean = decoder_->averageCepstrum(opening)) {
        decoder_->setCepstralMean(*mean);
    }
}

bool SpeechModel::beginPhrase(OpeningContext context) {
    Decoder& d = *decoder_;
    d.ditherState = kDitherSeed;
    d.holdingOpening = context == OpeningContext::kOwnFirstFrame;
    d.heldOpening.clear();
    // A new stream per phrase restarts the frame count and the noise estimate.
    return ps_start_stream(d.get()) == 0 && ps_start_utt(d.get()) == 0;
}

bool SpeechModel::Decoder::decode(std::span<const std::int16_t> samples) {
    dither(samples, ditherState, dithered);
    return ps_process_raw(get(), dithered.data(), dithered.size(), FALSE, FALSE) >= 0;
}

bool SpeechModel::Decoder::releaseOpening() {
    holdingOpening = false;
    const bool decoded = heldOpening.empty() || decode(heldOpening);
    heldOpening.clear();
    return decoded;
}

bool SpeechModel::process(std::span<const std::int16_t> samples) {
    Decoder& d = *decoder_;
    if (!d.holdingOpening) {
        return d.decode(samples);
    }
    d.heldOpening.insert(d.heldOpening.end(), samples.begin(), samples.end());
    return d.heldOpening.size() < d.samplesForFirstFrames || d.releaseOpening();
}

std::string SpeechModel::partialText() const {
    const char* text = ps_get_hyp(decoder_->get(), nullptr);
    std::string shown;
    for (const std::string& word : pronunciationSymbols(text ? text : "")) {
        if (!shown.empty()) {
            shown += ' ';
        }
        shown += withoutPhonePrefix(word);
    }
    return shown;
}

std::vector<DecodedSegment> SpeechModel::partialSegments() const {
    return decoder_->segments();
}

bool SpeechModel::endPhrase() {
    const bool decoded = !decoder_->holdingOpening || decoder_->releaseOpening();
    return ps_end_utt(decoder_->get()) == 0 && decoded;
}

std::vector<DecodedSegment> SpeechModel::finalSegments() const {
    // Without a hypothesis no path reached the end of the grammar.
    if (!ps_get_hyp(decoder_->get(), nullptr)) {
        return {};
    }
    return decoder_->segments();
}

}  // namespace phonemes::engine
