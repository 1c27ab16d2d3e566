#pragma once
// Reading one string of the text into its block, escapes decoded. For
// core/json*.cpp only.

#include <string>

#include "core/json_document.h"

namespace json {

// pos is on the opening quote. Reads up to and past the closing quote, or to
// end when the text ends first (no error), into a new block; returns the
// position after it. Strings with escapes are decoded in `decoded` first.
const char* readString(const char* pos, const char* end, Document& document, std::string& decoded, StringRef& out);

}  // namespace json
