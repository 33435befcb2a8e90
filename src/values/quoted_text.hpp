// The quoted form of a text: double quotes around it, backslash escapes for
// the quote, the backslash, \t \r \n \0, and \u{hex} for invisible and
// combining characters (ICU character data). Used by the diagnostic form of
// values and by wrapped TypeError messages.
#pragma once

#include <string>
#include <string_view>

namespace veln {

class BoundedText;

void append_quoted_text(BoundedText& out, std::string_view text);
// Unbounded, for texts known to be small.
void append_quoted_text(std::string& out, std::string_view text);

}  // namespace veln
