#pragma once

#include <string>

namespace vcl {

// The message box: the text and one "OK" button, modal for the application;
// returns when the user has closed it.
void ShowMessage(const std::string& text);

}  // namespace vcl
