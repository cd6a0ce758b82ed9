#include "platform/rtl/Text.h"

#include <cstdint>

namespace text {
namespace {

// Length of the well-formed sequence starting at text[i], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t i) noexcept {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    char32_t min = 0;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    char32_t cp = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Advance over one code point; a malformed byte counts as one.
std::size_t Step(std::string_view text, std::size_t i) noexcept {
    const std::size_t n = SequenceLength(text, i);
    return n == 0 ? 1 : n;
}

char32_t Decode(std::string_view s) noexcept {
    const auto b = static_cast<unsigned char>(s[0]);
    if (s.size() == 1) return b;
    char32_t cp = b & (0x7F >> s.size());
    for (std::size_t k = 1; k < s.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[k]) & 0x3F);
    return cp;
}

void Encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t ToLower(char32_t cp) noexcept {
    if (cp >= U'A' && cp <= U'Z') return cp + 32;
    // Latin-1 capitals, except the multiplication sign.
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    // Latin Extended-A: pairs capital/small, in two runs with opposite parity.
    if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) return cp | 1;
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) return (cp & 1) ? cp + 1 : cp;
    if (cp == 0x178) return 0xFF;
    return cp;
}

}  // namespace

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool Contains(std::string_view text, std::string_view pattern) noexcept {
    return !text.empty() && text.size() >= pattern.size() &&
           text.find(pattern) != std::string_view::npos;
}

bool IsValidUtf8(std::string_view text) noexcept {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::size_t Length(std::string_view text) noexcept {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += Step(text, i)) ++count;
    return count;
}

std::string Mid(std::string_view text, std::size_t first, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < first && i < text.size(); ++k) i += Step(text, i);
    std::size_t end = i;
    for (std::size_t k = 0; k < count && end < text.size(); ++k) end += Step(text, end);
    return std::string(text.substr(i, end - i));
}

namespace {

std::string LowerFrom(std::string_view text, std::size_t keep) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, index = 0; i < text.size(); ++index) {
        const std::size_t n = SequenceLength(text, i);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        if (index < keep) {
            out += text.substr(i, n);
        } else {
            Encode(ToLower(Decode(text.substr(i, n))), out);
        }
        i += n;
    }
    return out;
}

}  // namespace

std::string LowerAfterFirst(std::string_view text) {
    return LowerFrom(text, 1);
}

std::string Lower(std::string_view text) {
    return LowerFrom(text, 0);
}

}  // namespace text
