#pragma once

#include <functional>
#include <string>

class TSession;
class TIBDatabase;

namespace catalogue {

inline constexpr const char* kDriverPattern = "INTRBASE";
inline constexpr const char* kUserName = "kefu";

// Presets the connection's credentials, then appends the name of every alias
// that is an InterBase one configured for the fixed user. Catches nothing.
void FillAliasList(TSession& session, TIBDatabase& IBDB,
                   const std::function<void(const std::string&)>& appendItem);

}  // namespace catalogue
