#include "engine/pronunciation.h"

#include <gtest/gtest.h>

namespace phonemes::engine {
namespace {

struct FormCase {
    std::string_view written;
    std::string_view form;

    friend void PrintTo(const FormCase& c, std::ostream* out) { *out << c.written; }
};

class DictionaryForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(DictionaryForm, IsLowerCaseWithoutSurroundingPunctuation) {
    EXPECT_EQ(dictionaryFormOf(GetParam().written), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(Cases, DictionaryForm,
                         ::testing::Values(FormCase{"Hello,", "hello"},
                                           FormCase{"\"Quoted!\"", "quoted"},
                                           FormCase{"don't", "don't"},
                                           FormCase{"(well-known)", "well-known"},
                                           FormCase{"“Curly”", "curly"}, FormCase{"¿Qué?", "qué"},
                                           FormCase{"CAFÉ", "cafÉ"},  // only ASCII folds
                                           FormCase{"...", ""}, FormCase{"—", ""}, FormCase{"", ""},
                                           FormCase{"42.", "42"}));

TEST(Transcript, IsCutAtWhiteSpaceKeepingTheWrittenWords) {
    const auto words = splitTranscript("  Hello,  world!\tHow's\r\nit -- going ");
    ASSERT_EQ(words.size(), 5u);
    const std::vector<std::pair<std::string, std::string>> expected = {{"Hello,", "hello"},
                                                                       {"world!", "world"},
                                                                       {"How's", "how's"},
                                                                       {"it", "it"},
                                                                       {"going", "going"}};
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(words[i].written, expected[i].first);
        EXPECT_EQ(words[i].dictionaryWord, expected[i].second);
    }
    EXPECT_TRUE(splitTranscript("").empty());
    EXPECT_TRUE(splitTranscript("   ").empty());
    EXPECT_TRUE(splitTranscript(" ... !").empty());
}

struct IpaCase {
    std::string_view ipa;
    std::string_view phones;

    friend void PrintTo(const IpaCase& c, std::ostream* out) { *out << c.ipa; }
};

class IpaToDictionaryPhones : public ::testing::TestWithParam<IpaCase> {};

TEST_P(IpaToDictionaryPhones, MapsOntoTheDictionarysPhones) {
    EXPECT_EQ(dictionaryPhonesOfIpa(GetParam().ipa), GetParam().phones);
}

// IPA as espeak-ng's American English voice writes these words.
INSTANTIATE_TEST_SUITE_P(EspeakWords, IpaToDictionaryPhones,
                         ::testing::Values(IpaCase{"ɡlˈɪmɚɹˌæks",
                                                   "G L IH M ER AE K S"},        // glimmerax
                                           IpaCase{"həlˈoʊ", "HH AH L OW"},      // hello
                                           IpaCase{"tʃˈɜːtʃ", "CH ER CH"},       // church
                                           IpaCase{"dʒˈɔɪ", "JH OY"},            // joy
                                           IpaCase{"fˈɔːɹk", "F AO R K"},        // fork
                                           IpaCase{"bˈʌʔn̩", "B AH T AH N"},      // button
                                           IpaCase{"lˈɪɾəl", "L IH T AH L"},     // little
                                           IpaCase{"ˈaʊɚ", "AW ER"},             // hour
                                           IpaCase{"plˈɛʒɚ", "P L EH ZH ER"},    // pleasure
                                           IpaCase{"sˈɪŋ", "S IH NG"},           // sing
                                           IpaCase{"θˈɔːt", "TH AO T"},          // thought
                                           IpaCase{"wˈɔntᵻd", "W AO N T IH D"},  // wanted
                                           IpaCase{"fˈoːɹɾi tˈuː", "F AO R T IY T UW"},  // 42
                                           IpaCase{"ˈ ˌ ː .", ""}, IpaCase{"", ""}));

}  // namespace
}  // namespace phonemes::engine
