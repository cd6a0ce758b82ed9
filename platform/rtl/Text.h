#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers on UTF-8 std::string. A "character" is a code point.
namespace text {

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept;

// Case-sensitive containment; an empty or shorter text contains nothing.
bool Contains(std::string_view text, std::string_view pattern) noexcept;

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text) noexcept;

// Number of code points; bytes of a malformed sequence count one each.
std::size_t Length(std::string_view text) noexcept;

// Up to `count` code points starting at code point `first` (0-based); never
// splits a sequence.
std::string Mid(std::string_view text, std::size_t first, std::size_t count);

// Lower-cases every code point after the first. Covers ASCII and the Latin
// letters of the Latin-1 Supplement and Latin Extended-A blocks, which holds
// every Polish letter.
std::string LowerAfterFirst(std::string_view text);
// Lower-cases every code point, with the same coverage.
std::string Lower(std::string_view text);

}  // namespace text
