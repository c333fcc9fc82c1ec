#include "console_capture.h"

#include <string_view>
#include <utility>

namespace phonemes {

void ConsoleCapture::finish() {
    if (!pending_.empty()) {
        sink_(std::exchange(pending_, {}));
    }
}

ConsoleCapture::int_type ConsoleCapture::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        const char c = traits_type::to_char_type(ch);
        xsputn(&c, 1);
    }
    return traits_type::not_eof(ch);
}

std::streamsize ConsoleCapture::xsputn(const char* text, std::streamsize count) {
    std::string_view rest(text, static_cast<std::size_t>(count));
    for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
        pending_.append(rest.substr(0, end + 1));
        sink_(std::exchange(pending_, {}));
        rest.remove_prefix(end + 1);
    }
    pending_.append(rest);
    return count;
}

}  // namespace phonemes
