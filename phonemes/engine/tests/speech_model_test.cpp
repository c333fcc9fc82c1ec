#include "engine/speech_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

// The model's location and its load failures. These tests never load the real model (the unit
// test process keeps it unloaded), so a failed load can be seen and retried.
namespace phonemes::engine {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVariable = "PHONEMES_MODEL_DIR";

class ModelDirectory : public ::testing::Test {
  protected:
    ModelDirectory() {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("engine_model_" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    ~ModelDirectory() override {
        unsetenv(kVariable);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string loadError() {
        try {
            SpeechModel::shared();
        } catch (const ModelLoadError& error) {
            return error.what();
        }
        ADD_FAILURE() << "the model loaded from " << dir_;
        return {};
    }

    fs::path dir_;
};

TEST_F(ModelDirectory, ComesFromTheEnvironmentOrElseDebiansPackage) {
    unsetenv(kVariable);
    EXPECT_EQ(modelDirectory(), "/usr/share/pocketsphinx/model/en-us");
    setenv(kVariable, "", 1);
    EXPECT_EQ(modelDirectory(), "/usr/share/pocketsphinx/model/en-us");
    setenv(kVariable, dir_.c_str(), 1);
    EXPECT_EQ(modelDirectory(), dir_);
}

TEST_F(ModelDirectory, AMissingPartIsNamedAndALaterLoadTriesAgain) {
    setenv(kVariable, dir_.c_str(), 1);
    fs::create_directory(dir_ / "en-us");
    std::ofstream(dir_ / "en-us.lm.bin") << "";
    const std::string first = loadError();
    EXPECT_NE(first.find((dir_ / "cmudict-en-us.dict").string()), std::string::npos) << first;

    std::ofstream(dir_ / "cmudict-en-us.dict") << "hello HH AH L OW\n";
    const std::string second = loadError();
    EXPECT_NE(second, first) << "the second call looked again";
    EXPECT_NE(second.find(dir_.string()), std::string::npos) << second;
    EXPECT_EQ(second.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace phonemes::engine
