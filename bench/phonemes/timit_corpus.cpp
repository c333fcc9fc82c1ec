#include "timit_corpus.h"

#include <sndfile.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace phonemes::bench {

namespace fs = std::filesystem;

namespace {

constexpr int kLabelRate = 16000;  // the phone and word files count samples at 16 kHz

int msOfLabel(long sample) {
    return static_cast<int>(sample * 1000 / kLabelRate);
}

// Lines "start end label" of a .phn or .wrd file: each label with its start in ms.
std::vector<std::pair<int, std::string>> readLabels(const fs::path& file) {
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::vector<std::pair<int, std::string>> labels;
    long start = 0;
    long end = 0;
    std::string label;
    while (in >> start >> end >> label) {
        labels.emplace_back(msOfLabel(start), label);
    }
    return labels;
}

const std::map<std::string, std::string, std::less<>>& renamed() {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"ax", "ah"}, {"ax-h", "ah"}, {"axr", "er"}, {"ix", "ih"}, {"ux", "uw"}, {"el", "l"},
        {"em", "m"},  {"en", "n"},    {"eng", "ng"}, {"nx", "n"},  {"hv", "h"},  {"hh", "h"}};
    return table;
}

bool isSilence(std::string_view label) {
    return label == "h#" || label == "pau" || label == "epi";
}

// "bcl" is the closure of "b".
std::optional<std::string> stopOfClosure(std::string_view label) {
    if (label.size() == 3 && label.substr(1) == "cl") {
        return std::string(1, label[0]);
    }
    return std::nullopt;
}

// The word whose stretch holds a time: its index, or none in a pause.
std::optional<std::size_t> wordAt(const std::vector<std::pair<int, std::string>>& words, int ms) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < words.size() && words[i].first <= ms; ++i) {
        found = i;
    }
    return found;
}

// A flap is the t or the d of the word's pronunciation.
std::string flapOf(const std::string& word, const PronunciationLookup& lookup) {
    for (const std::string& pronunciation : lookup(word)) {
        std::istringstream symbols(pronunciation);
        std::string symbol;
        while (symbols >> symbol) {
            if (symbol == "T") {
                return "t";
            }
            if (symbol == "D") {
                return "d";
            }
        }
    }
    return "t";
}

// The release that a closure of `stop` leads into: the stop itself, or for t and d the
// affricate made with them.
bool releases(std::string_view stop, std::string_view phone) {
    return phone == stop || (stop == "t" && phone == "ch") || (stop == "d" && phone == "jh");
}

double secondsOf(const fs::path& audio) {
    SF_INFO info{};
    SNDFILE* file = sf_open(audio.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + audio.string());
    }
    sf_close(file);
    return static_cast<double>(info.frames) / info.samplerate;
}

}  // namespace

std::vector<TimedPhone> ourPhonesOf(const std::vector<std::pair<int, std::string>>& timitPhones,
                                    const std::vector<std::pair<int, std::string>>& words,
                                    const PronunciationLookup& lookup, bool markPauses) {
    std::vector<TimedPhone> phones;
    // A closure or glottal stop waiting for the phone after it, with its start.
    std::optional<TimedPhone> pending;
    const auto add = [&](std::string name, int startMs) {
        if (pending) {
            startMs = pending->startMs;
            pending.reset();
        }
        phones.push_back({std::move(name), startMs});
    };
    const auto flushPending = [&] {
        if (pending && !pending->name.empty()) {
            phones.push_back(*pending);
        }
        pending.reset();
    };
    for (std::size_t k = 0; k < timitPhones.size(); ++k) {
        const auto& [startMs, label] = timitPhones[k];
        if (isSilence(label)) {
            flushPending();
            if (markPauses && (phones.empty() || phones.back().name != "_")) {
                phones.push_back({"_", startMs});
            }
            continue;
        }
        if (const std::optional<std::string> stop = stopOfClosure(label)) {
            flushPending();
            pending = TimedPhone{*stop, startMs};
            continue;
        }
        if (label == "q") {
            flushPending();
            const std::optional<std::size_t> word = wordAt(words, startMs);
            const bool insideWord = word && words[*word].first < startMs;
            // A glottal stop inside a word stands for its t; one that opens a word belongs
            // to the phone after it.
            pending = TimedPhone{insideWord ? "t" : "", startMs};
            continue;
        }
        std::string name = label;
        if (const auto found = renamed().find(label); found != renamed().end()) {
            name = found->second;
        } else if (label == "dx") {
            const std::optional<std::size_t> word = wordAt(words, startMs);
            name = word ? flapOf(words[*word].second, lookup) : "t";
        }
        // A closure followed by another phone than its release is that stop on its own.
        if (pending && !pending->name.empty() && !releases(pending->name, name)) {
            flushPending();
        }
        add(std::move(name), startMs);
    }
    flushPending();
    return phones;
}

std::vector<LabelledUtterance> readCorpus(const fs::path& root, const PronunciationLookup& lookup) {
    std::vector<fs::path> speakers;
    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
        if (entry.is_directory()) {
            speakers.push_back(entry.path());
        }
    }
    std::sort(speakers.begin(), speakers.end());
    std::vector<LabelledUtterance> corpus;
    for (const fs::path& speaker : speakers) {
        std::vector<fs::path> audio;
        for (const fs::directory_entry& entry : fs::directory_iterator(speaker)) {
            const fs::path& path = entry.path();
            if (path.extension() == ".wav" &&
                fs::exists(fs::path(path).replace_extension(".phn")) &&
                fs::exists(fs::path(path).replace_extension(".wrd"))) {
                audio.push_back(path);
            }
        }
        std::sort(audio.begin(), audio.end());
        for (const fs::path& wav : audio) {
            LabelledUtterance u;
            u.speaker = speaker.filename().string();
            u.id = wav.stem().string();
            u.audio = wav;
            u.seconds = secondsOf(wav);
            const auto words = readLabels(fs::path(wav).replace_extension(".wrd"));
            for (const auto& [startMs, word] : words) {
                u.words.push_back({word, startMs});
                u.hint += (u.hint.empty() ? "" : " ") + word;
            }
            const auto labels = readLabels(fs::path(wav).replace_extension(".phn"));
            u.phones = ourPhonesOf(labels, words, lookup);
            u.sounds = ourPhonesOf(labels, words, lookup, true);
            corpus.push_back(std::move(u));
        }
    }
    return corpus;
}

}  // namespace phonemes::bench
