#pragma once

// A recognition session over the scripted platform, with the console and the output captured.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "extractor.h"
#include "recognition_session.h"
#include "result_output.h"
#include "scripted_platform.h"

namespace phonemes::testing {

// 32 bytes of the scripted platform's default format make one millisecond.
constexpr std::uint32_t kBytesPerMs =
    scripted::ScriptedPlatform::kDefaultFormat.nAvgBytesPerSec / 1000;
constexpr std::uint64_t kHundredNsPerMs = 10000;

inline scripted::ScriptedWord wordAt(std::uint32_t offsetMs, std::uint32_t sizeMs,
                                     std::string_view phones) {
    return {offsetMs * kBytesPerMs, sizeMs * kBytesPerMs, scripted::pronunciationOf(phones)};
}

inline scripted::ScriptedResult resultAt(std::uint64_t startMs, std::uint64_t lengthMs,
                                         std::vector<scripted::ScriptedWord> words,
                                         std::u16string text = u"") {
    scripted::ScriptedResult result;
    result.text = std::move(text);
    result.start = startMs * kHundredNsPerMs;
    result.length = lengthMs * kHundredNsPerMs;
    result.words = std::move(words);
    return result;
}

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() {
        extractor.inventory.buildWeightLookup();
        extractor.output = &record;
        session.startBatch();
        blocksBefore = taskMemBlocksInUse();
    }

    // Processes one file, then checks that every reference the platform handed out came back
    // exactly once, that no object was used after its release, and that no block is left over.
    // The result is then written as the batch writes it: true when the file's record was
    // written; a record that cannot be written stops the run with its message.
    bool process(const std::string& path) {
        const std::optional<FileResult> result = session.processFile(path);
        expectEverythingReleased();
        if (!result) {
            return false;
        }
        const auto printError = [this](const std::string& message) {
            extractor.console.printError(message);
        };
        if (!ResultOutput(extractor.options).write(*extractor.output, *result, printError)) {
            extractor.outputFailed = true;
            extractor.console.printError(kCannotWriteOutput);
            return false;
        }
        return true;
    }

    void expectEverythingReleased() {
        EXPECT_THAT(platform.unbalancedObjects(), ::testing::IsEmpty());
        EXPECT_THAT(platform.misuses(), ::testing::IsEmpty());
        EXPECT_EQ(taskMemBlocksInUse(), blocksBefore);
        EXPECT_FALSE(session.holdsSpeechObjects());
    }

    void setHints(const std::string& lines) {
        std::istringstream in(lines);
        ASSERT_TRUE(extractor.hints.readEntries(in));
    }

    std::vector<std::string> labelsAndStarts() const {
        std::vector<std::string> entries;
        for (const PhoneEntry& entry : extractor.timeline.entries) {
            entries.push_back(entry.label + " " + std::to_string(entry.start));
        }
        return entries;
    }

    scripted::ScriptedPlatform platform;  // outlives the session and its objects
    std::ostringstream out;
    std::ostringstream err;
    std::ostringstream record;
    Extractor extractor{out, err};
    RecognitionSession session{extractor};
    std::size_t blocksBefore = 0;
};

}  // namespace phonemes::testing
