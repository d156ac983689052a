// Text from a scene file or a file name made safe to show in a message on a terminal or in a
// window: no byte of it can move the cursor, ring the bell or start an escape sequence.
#pragma once

#include <string>
#include <string_view>

namespace lumivex {

// `text` with every printable UTF-8 character kept as it is and everything else escaped: a tab,
// line feed and carriage return as \t, \n and \r, any other byte of a control character (C0, DEL
// or C1), of a bidirectional-text control or line separator, or of invalid UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, past U+10FFFF) as \xNN with two
// upper-case hex digits. A backslash stays as it is, so Windows-style paths read as written.
std::string PrintableText(std::string_view text);

}  // namespace lumivex
