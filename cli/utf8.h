// UTF-8, as the terminal and pipes carry it, to and from the UTF-16 the library works in. ICU
// converts; nothing here decodes by hand.
#pragma once

#include <string>
#include <string_view>

/// UTF-8 text as UTF-16. Returns false, with `out` undefined and a short description in
/// `problem` ("is not valid UTF-8 at byte offset 7"), when the text is not well-formed UTF-8 or is
/// longer than the converter handles (2 GiB).
[[nodiscard]] bool utf8ToUtf16(std::string_view text, std::u16string& out, std::string& problem);

/// UTF-8 text as UTF-16, every ill-formed sequence replaced by U+FFFD: for showing bad input.
std::u16string utf8ToUtf16Lossy(std::string_view text);

/// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD, so this cannot fail.
std::string utf16ToUtf8(std::u16string_view text);
