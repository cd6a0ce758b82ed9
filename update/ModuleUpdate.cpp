#include "update/ModuleUpdate.h"

#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Text.h"

namespace update {
namespace {

constexpr const char* kUserName = "kefu";
constexpr const char* kPassword = "kefu";
constexpr int kSQLDialect = 1;
// The server-name line is "SERVER NAME=" followed by the connection string.
constexpr std::size_t kConnectionStringStart = 12;
constexpr std::size_t kConnectionStringMax = 255;
// Our own attachment is always among those counted.
constexpr int kRefusedFromAttachments = 2;

constexpr const char* kVersionTag = "vorn83";
constexpr const char* kVersionQuery = "SELECT Wersja, Blokada FROM ADOSTEP";
// Dialect 1: the double quotes make a string literal, not an identifier.
constexpr const char* kUpdateStatement = "UPDATE AWERSJAMOD SET Numer=1  WHERE MODUL=\"dazezirod\"";

constexpr const char* kNoChoice = "Wybierz bazę danych.";
constexpr const char* kNoConnection = "Brak połączenia z bazą danych";
constexpr const char* kOthersAttachedHead =
    "Brak możliwości modyfikacji bazy danych\n\rDo bazy podłączonych jest ";
constexpr const char* kOthersAttachedTail = " użytkownik(ów) !!!";
constexpr const char* kWrongVersion = "Nieodpowiednia wersja bazy danych";
constexpr const char* kWrongDatabase = "Niewłaściwa baza danych";
constexpr const char* kUpdated = "Modyfikacja bazy danych powiodła się.\n\r";
constexpr const char* kUpdateFailed =
    "Modyfikacja bazy danych  NIE powiodła się.\n\rSkontaktuj się z dostawcą oprogramowania";

std::string ConnectionStringOf(TSession& session, const std::string& alias) {
    TStringList params;
    session.GetAliasParams(alias, params);
    return ConnectionStringFrom(params.Strings(0));
}

// True when the tool is alone on the database and the update may go on.
bool ConnectAlone(Window& window, const Components& c) {
    window.SetProgressPosition(0);
    const int index = window.ItemIndex();
    if (index == -1) {
        window.ShowMessage(kNoChoice);
        return false;
    }
    const std::string connectionString = ConnectionStringOf(c.session, window.Item(index));

    c.IBDB.Close();
    c.IBDB.SetParamValue("user_name", kUserName);
    c.IBDB.SetParamValue("password", kPassword);
    c.IBDB.SetLoginPrompt(false);
    c.IBDB.SetSQLDialect(kSQLDialect);
    try {
        c.IBDB.SetDatabaseName(connectionString);
        c.IBDB.Open();
    } catch (...) {
        // Whatever the cause, the user is told the same; the server's text could
        // only confuse here.
        window.ShowMessage(kNoConnection);
        return false;
    }

    const int attachments = c.IBDBInfo.UserNames().Count();
    if (attachments < kRefusedFromAttachments) return true;
    window.ShowMessage(kOthersAttachedHead + std::to_string(attachments - 1) + kOthersAttachedTail);
    c.IBDB.Close();
    return false;
}

// True when the database carries the expected version tag. A failing check
// leaves the connection, and the transaction that the query started, open.
bool VersionMatches(Window& window, const Components& c) {
    c.IBQry.SetSQL(kVersionQuery);
    try {
        c.IBQry.Open();
        if (c.IBQry.FieldByName("Wersja").AsString() != kVersionTag) {
            c.IBQry.Close();
            window.ShowMessage(kWrongVersion);
            return false;
        }
    } catch (...) {
        c.IBQry.Close();
        window.ShowMessage(kWrongDatabase);
        return false;
    }
    return true;
}

void RegisterModule(Window& window, const Components& c) {
    try {
        c.IBQry.SetSQL(kUpdateStatement);
        c.IBQry.ExecSQL();
        c.IBTrans.Commit();
        window.ShowMessage(kUpdated);
    } catch (const Exception& e) {
        window.ShowMessage(kUpdateFailed);
        c.IBTrans.Rollback();
        window.ShowMessage(e.Message());
    }
    c.IBDB.Close();
    window.SetProgressPosition(0);
}

}  // namespace

std::string ConnectionStringFrom(const std::string& serverNameLine) {
    return text::Mid(serverNameLine, kConnectionStringStart, kConnectionStringMax);
}

void RunModuleUpdate(Window& window, const Components& components) {
    if (!ConnectAlone(window, components)) return;
    if (!VersionMatches(window, components)) return;
    RegisterModule(window, components);
}

}  // namespace update
