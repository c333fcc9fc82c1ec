#include "flite_voice.h"

#include <flite/flite.h>

#include <memory>
#include <stdexcept>
#include <string>

extern "C" cst_voice* register_cmu_us_kal16(const char* voxdir);

namespace phonemes::bench {

namespace {

constexpr const char* kPause = "pau";

struct UtteranceFree {
    void operator()(cst_utterance* utterance) const { delete_utterance(utterance); }
};

cst_voice* voice() {
    static cst_voice* const kal16 = [] {
        flite_init();
        return register_cmu_us_kal16(nullptr);
    }();
    return kal16;
}

int msOf(float seconds) {
    return static_cast<int>(seconds * 1000.0f + 0.5f);
}

// The word that a segment begins, when it is the first segment of its word's first syllable.
const cst_item* wordBegunBy(const cst_item* segment) {
    const cst_item* inSyllable = item_as(segment, "SylStructure");
    if (!inSyllable || item_prev(inSyllable)) {
        return nullptr;
    }
    const cst_item* syllable = item_parent(inSyllable);
    if (!syllable || item_prev(syllable)) {
        return nullptr;
    }
    return item_parent(syllable);
}

}  // namespace

FliteSpeech speakWithFlite(std::string_view text, float durationStretch) {
    cst_voice* kal16 = voice();
    if (!kal16) {
        throw std::runtime_error("flite has no kal16 voice");
    }
    feat_set_float(kal16->features, "duration_stretch", durationStretch);
    const std::string textCopy(text);
    const std::unique_ptr<cst_utterance, UtteranceFree> utterance(
        flite_synth_text(textCopy.c_str(), kal16));
    const cst_wave* wave = utterance ? utt_wave(utterance.get()) : nullptr;
    if (!wave || wave->num_samples <= 0) {
        throw std::runtime_error("flite gave no audio");
    }
    FliteSpeech speech;
    speech.sampleRate = wave->sample_rate;
    speech.samples.assign(wave->samples, wave->samples + wave->num_samples);
    // A segment's "end" is exact; it starts where the one before it ends.
    float start = 0.0f;
    for (const cst_item* segment = relation_head(utt_relation(utterance.get(), "Segment")); segment;
         segment = item_next(segment)) {
        const std::string name = item_feat_string(segment, "name");
        if (name != kPause) {
            speech.phones.push_back({name, msOf(start)});
            if (const cst_item* word = wordBegunBy(segment)) {
                speech.words.push_back({item_feat_string(word, "name"), msOf(start)});
            }
        }
        start = item_feat_float(segment, "end");
    }
    return speech;
}

}  // namespace phonemes::bench
