#pragma once

#include <string>

class TSession;
class TIBDatabase;
class TIBTransaction;
class TIBQuery;
class TIBDatabaseInfo;

namespace update {

// What the procedure sees of the main window.
class Window {
  public:
    virtual ~Window() = default;
    virtual int ItemIndex() const = 0;
    virtual std::string Item(int index) const = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Returns when the user has dismissed the message.
    virtual void ShowMessage(const std::string& text) = 0;
};

struct Components {
    TSession& session;
    TIBDatabase& IBDB;
    TIBTransaction& IBTrans;
    TIBQuery& IBQry;
    TIBDatabaseInfo& IBDBInfo;
};

// Characters 13 onward of the alias's server-name line, at most 255 of them.
std::string ConnectionStringFrom(const std::string& serverNameLine);

// The work behind START: the connection and exclusivity check, then the
// version check and the module's update. Exceptions that no step expects
// leave it.
void RunModuleUpdate(Window& window, const Components& components);

}  // namespace update
