#include "sorting/Translation.h"

namespace shoebox {

std::string untranslated(const char*, const char* text)
{
    return text;
}

std::string withArguments(std::string_view text, std::initializer_list<std::string_view> arguments)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t number =
            i + 1 < text.size() && text[i] == '%' ? std::size_t(text[i + 1] - '1') : std::string_view::npos;
        if (number < arguments.size()) {
            result.append(arguments.begin()[number]);
            ++i;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

} // namespace shoebox
