#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ibx/IBErrors.h"
#include "platform/rtl/StringList.h"

class ClientLibrary;
class TIBTransaction;
class TIBQuery;

// Handle type of the client library's C interface.
using IscHandle = unsigned int;

// A connection. Creating any database component loads the client library
// (EIBClientError when it cannot be found); it stays loaded for the run.
class TIBDatabase {
  public:
    TIBDatabase();
    // Closes the connection; a failure here is swallowed.
    ~TIBDatabase();
    TIBDatabase(const TIBDatabase&) = delete;
    TIBDatabase& operator=(const TIBDatabase&) = delete;

    // The attachment's parameters: "user_name" and "password" are used.
    const TStringList& Params() const noexcept { return params_; }
    void SetParams(TStringList params);
    void SetParamValue(std::string_view name, std::string_view value);

    bool LoginPrompt() const noexcept { return loginPrompt_; }
    void SetLoginPrompt(bool value) noexcept { loginPrompt_ = value; }
    int SQLDialect() const noexcept { return sqlDialect_; }
    void SetSQLDialect(int dialect);
    const std::string& DatabaseName() const noexcept { return databaseName_; }
    void SetDatabaseName(std::string name);

    bool Connected() const noexcept { return handle_ != 0; }
    void SetConnected(bool value) { value ? Open() : Close(); }
    // Attaches; raises EIBClientError for an empty DatabaseName, EIBError for
    // what the server refuses.
    void Open();
    // Ends every still-active transaction by its default action, then
    // detaches. The connection is closed even when this raises.
    void Close();

    // For the components bound to this connection.
    IscHandle* Handle() noexcept { return &handle_; }
    ClientLibrary& Library() const noexcept { return *library_; }
    void AddTransaction(TIBTransaction* transaction);
    void RemoveTransaction(TIBTransaction* transaction) noexcept;
    void AddQuery(TIBQuery* query);
    void RemoveQuery(TIBQuery* query) noexcept;

  private:
    void CheckClosed(const char* what) const;

    ClientLibrary* library_;
    TStringList params_;
    bool loginPrompt_ = true;
    int sqlDialect_ = 3;
    std::string databaseName_;
    IscHandle handle_ = 0;
    std::vector<TIBTransaction*> transactions_;
    std::vector<TIBQuery*> queries_;
};

enum class TTransactionAction { TACommit, TARollback };

// A transaction with an empty parameter buffer: the server's default,
// read-write, snapshot, wait.
class TIBTransaction {
  public:
    TIBTransaction();
    // Ends a still-active transaction by DefaultAction (rollback should a
    // commit fail), silently.
    ~TIBTransaction();
    TIBTransaction(const TIBTransaction&) = delete;
    TIBTransaction& operator=(const TIBTransaction&) = delete;

    TIBDatabase* DefaultDatabase() const noexcept { return database_; }
    void SetDefaultDatabase(TIBDatabase* database);
    TTransactionAction DefaultAction() const noexcept { return defaultAction_; }
    void SetDefaultAction(TTransactionAction action) noexcept { defaultAction_ = action; }
    bool AllowAutoStart() const noexcept { return true; }
    // Transaction parameters by name ("read", "read_committed", "nowait"...);
    // none by default.
    const TStringList& Params() const noexcept { return params_; }
    void SetParams(TStringList params) { params_ = std::move(params); }

    bool InTransaction() const noexcept { return handle_ != 0; }
    void StartTransaction();
    // Both raise when no transaction is active. A failed commit leaves the
    // transaction active, so that a rollback can follow.
    void Commit();
    void Rollback();
    // Ends an active transaction by DefaultAction; what the connection calls
    // before it detaches.
    void EndByDefaultAction();

    IscHandle* Handle() noexcept { return &handle_; }
    void AddQuery(TIBQuery* query);
    void RemoveQuery(TIBQuery* query) noexcept;
    // The connection calls these: when it goes away first, and when its
    // attachment is gone so the handle means nothing any more.
    void DatabaseGone() noexcept { database_ = nullptr; }
    void Forget() noexcept { handle_ = 0; }

  private:
    TIBDatabase& Database() const;
    void CloseQueries() noexcept;
    void End(bool commit);

    ClientLibrary* library_;
    TIBDatabase* database_ = nullptr;
    std::vector<TIBQuery*> queries_;
    TTransactionAction defaultAction_ = TTransactionAction::TACommit;
    TStringList params_;
    IscHandle handle_ = 0;
};

// One column of the current row.
class TIBField {
  public:
    explicit TIBField(std::string name) : name_(std::move(name)) {}

    const std::string& FieldName() const noexcept { return name_; }
    bool IsNull() const noexcept { return isNull_; }
    // CHAR with its blank padding; VARCHAR exactly; NULL and "no row" the
    // empty text; other types their text form.
    const std::string& AsString() const noexcept { return text_; }

    // For the query that fills it.
    void SetValue(std::string text, bool isNull) {
        text_ = std::move(text);
        isNull_ = isNull;
    }

  private:
    std::string name_;
    std::string text_;
    bool isNull_ = true;
};

// A statement with its result set.
class TIBQuery {
  public:
    TIBQuery();
    ~TIBQuery();
    TIBQuery(const TIBQuery&) = delete;
    TIBQuery& operator=(const TIBQuery&) = delete;

    void SetDatabase(TIBDatabase* database);
    TIBDatabase* Database() const noexcept { return database_; }
    void SetTransaction(TIBTransaction* transaction);
    TIBTransaction* Transaction() const noexcept { return transaction_; }

    const std::string& SQL() const noexcept { return sql_; }
    // Closes an open result set and releases the prepared statement; the
    // transaction is left alone.
    void SetSQL(std::string text);

    // Starts the transaction when none is active, prepares under the
    // connection's dialect, runs and stands on the first row.
    void Open();
    // Ends the result set, never the transaction.
    void Close();
    bool Active() const noexcept { return cursorOpen_; }
    bool Eof() const noexcept { return eof_; }
    void Next();
    // Letter case ignored; raises EIBClientError when there is no such column.
    TIBField& FieldByName(std::string_view name);
    // Runs a statement that returns no result set; refused while one is open.
    void ExecSQL();

    // Notifications from the connection and the transaction.
    void ReleaseStatement() noexcept;
    void CloseQuietly() noexcept;
    void DatabaseGone() noexcept;
    void TransactionGone() noexcept;

  private:
    struct Statement;
    TIBDatabase& Db() const;
    TIBTransaction& Tr() const;
    void Prepare();
    void Execute();
    void Fetch();
    void FreeStatement();

    ClientLibrary* library_;
    TIBDatabase* database_ = nullptr;
    TIBTransaction* transaction_ = nullptr;
    std::string sql_;
    std::unique_ptr<Statement> statement_;
    bool cursorOpen_ = false;
    std::vector<TIBField> fields_;
    bool eof_ = true;
};

// Facts about a connection that the server reports.
class TIBDatabaseInfo {
  public:
    TIBDatabaseInfo();
    void SetDatabase(TIBDatabase* database) noexcept { database_ = database; }
    TIBDatabase* Database() const noexcept { return database_; }

    // One entry per attachment to the database that the server reports, ours
    // among them; cleared and refilled on each call.
    const TStringList& UserNames();

  private:
    ClientLibrary* library_;
    TIBDatabase* database_ = nullptr;
    TStringList userNames_;
};
