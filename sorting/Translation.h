#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The controller writes the window's texts in English and has them turned
// into the user's language where it makes them. It links no Qt, so the
// window gives it the function that translates; lupdate finds every text as
// a call translate("Sorting", "…"), a form it knows without being told.
namespace shoebox {

// The English `text` of `context` in the user's language, as UTF-8: `text`
// itself where there is no translation.
using Translate = std::string (*)(const char* context, const char* text);

// The translation of a controller without a window: the English text.
std::string untranslated(const char* context, const char* text);

// `text` with each %1 ... %9 replaced by that argument, in one pass, so an
// argument holding "%2" is kept as it is. Composite texts are translated as
// a whole with their parts as arguments: a language may put them elsewhere.
std::string withArguments(std::string_view text, std::initializer_list<std::string_view> arguments);

} // namespace shoebox
