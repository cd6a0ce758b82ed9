#include "platform/vcl/Texts.h"

#include <cstdio>

#include "platform/rtl/Text.h"

namespace vcl {
namespace {

bool IsContinuationByte(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string ModuleName(std::string_view programPath) {
    const std::size_t slash = programPath.rfind('/');
    return std::string(slash == std::string_view::npos ? programPath
                                                       : programPath.substr(slash + 1));
}

std::string TitleFromProgramPath(std::string_view programPath) {
    std::string name = ModuleName(programPath);
    if (const std::size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    return text::LowerAfterFirst(name);
}

std::string FailureBoxText(std::string_view message) {
    std::string result(message);
    // Every byte of a multi-byte sequence is above 46, and so is its code.
    if (!result.empty() && static_cast<unsigned char>(result.back()) > '.') result += '.';
    return result;
}

std::string StartupFailureText(std::string_view className, std::string_view moduleName,
                               std::uint32_t offset, std::string_view message) {
    char address[9];
    std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(offset));
    std::string result = "Exception ";
    result.append(className).append(" in module ").append(moduleName);
    result.append(" at ").append(address).append(".\r\n").append(message);
    if (!message.empty() && message.back() != '.') result += '.';
    result += "\r\n";
    return result;
}

std::string ExpandTabs(std::string_view text, std::size_t tabSize) {
    std::string result;
    result.reserve(text.size());
    std::size_t column = 0;
    for (const char c : text) {
        if (c == '\t') {
            const std::size_t blanks = tabSize - column % tabSize;
            result.append(blanks, ' ');
            column += blanks;
            continue;
        }
        result += c;
        if (c == '\n' || c == '\r') {
            column = 0;
        } else if (!IsContinuationByte(c)) {
            ++column;
        }
    }
    return result;
}

std::string NormaliseLineBreaks(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') {
            result += c;
            continue;
        }
        result += '\n';
        const char pair = c == '\n' ? '\r' : '\n';
        if (i + 1 < text.size() && text[i + 1] == pair) ++i;
    }
    return result;
}

}  // namespace vcl
