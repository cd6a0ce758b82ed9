#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The texts that the application object builds; plain C++ so that a test can
// check them without a window.
namespace vcl {

// The program file's name without its directory.
std::string ModuleName(std::string_view programPath);

// The application title: the file name cut before its first full stop, every
// character after the first lower-cased.
std::string TitleFromProgramPath(std::string_view programPath);

// The failure box's text: "." appended when the last character's code is
// above that of the full stop.
std::string FailureBoxText(std::string_view message);

// The text of the box shown when the main window cannot be created.
std::string StartupFailureText(std::string_view className, std::string_view moduleName,
                               std::uint32_t offset, std::string_view message);

// Tabs replaced by blanks up to the next stop of every `tabSize` characters,
// counted from the start of each line.
std::string ExpandTabs(std::string_view text, std::size_t tabSize = 8);

// One "\n" for each line break, whether written "\r\n", "\n\r", "\n" or "\r".
std::string NormaliseLineBreaks(std::string_view text);

}  // namespace vcl
