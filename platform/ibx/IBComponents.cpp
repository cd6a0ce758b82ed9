#include "platform/ibx/IBComponents.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ibx/ClientLibrary.h"
#include "platform/rtl/Text.h"

static_assert(sizeof(IscHandle) == sizeof(isc_db_handle), "handle type of the client library");

namespace {

template <typename T>
void Register(std::vector<T*>& list, T* item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

template <typename T>
void Unregister(std::vector<T*>& list, T* item) noexcept {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

void AddDpbString(std::string& dpb, char tag, const std::string& value) {
    if (value.size() > 255) throw EIBClientError("Connection parameter is too long");
    dpb += tag;
    dpb += static_cast<char>(value.size());
    dpb += value;
}

char TransactionParameter(const std::string& name) {
    static constexpr std::pair<const char*, char> known[] = {
        {"concurrency", isc_tpb_concurrency},
        {"read_committed", isc_tpb_read_committed},
        {"rec_version", isc_tpb_rec_version},
        {"read", isc_tpb_read},
        {"write", isc_tpb_write},
        {"wait", isc_tpb_wait},
        {"nowait", isc_tpb_nowait}};
    for (const auto& [text, tag] : known) {
        if (text::EqualsIgnoreAsciiCase(name, text)) return tag;
    }
    throw EIBClientError("Unknown transaction parameter " + name);
}

// Transaction existence block of isc_start_multiple.
struct TransactionBlock {
    isc_db_handle* database;
    int tpbLength;
    const char* tpb;
};

}  // namespace

// ---------------------------------------------------------------- TIBDatabase

TIBDatabase::TIBDatabase() : library_(&ClientLibrary::Instance()) {}

TIBDatabase::~TIBDatabase() {
    try {
        Close();
    } catch (...) {
        // Released at shut-down: nobody is left to tell.
    }
    for (TIBTransaction* t : transactions_) t->DatabaseGone();
    for (TIBQuery* q : queries_) q->DatabaseGone();
}

void TIBDatabase::CheckClosed(const char* what) const {
    if (Connected())
        throw EIBClientError(std::string("Cannot change ") + what + " while connected");
}

void TIBDatabase::SetParams(TStringList params) {
    CheckClosed("Params");
    params_ = std::move(params);
}

void TIBDatabase::SetParamValue(std::string_view name, std::string_view value) {
    CheckClosed("Params");
    params_.SetValue(name, value);
}

void TIBDatabase::SetSQLDialect(int dialect) {
    CheckClosed("SQLDialect");
    if (dialect < 1 || dialect > 3) throw EIBClientError("SQL dialect must be 1, 2 or 3");
    sqlDialect_ = dialect;
}

void TIBDatabase::SetDatabaseName(std::string name) {
    if (name == databaseName_) return;
    CheckClosed("DatabaseName");
    databaseName_ = std::move(name);
}

void TIBDatabase::Open() {
    if (Connected()) return;
    if (databaseName_.empty()) throw EIBClientError("Database name is missing");
    if (databaseName_.find('\0') != std::string::npos || databaseName_.size() > 32767) {
        throw EIBClientError("Database name is not valid");
    }
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    AddDpbString(dpb, isc_dpb_user_name, params_.Value("user_name"));
    AddDpbString(dpb, isc_dpb_password, params_.Value("password"));
    if (const std::string charset = params_.Value("lc_ctype"); !charset.empty()) {
        AddDpbString(dpb, isc_dpb_lc_ctype, charset);
    }
    dpb += static_cast<char>(isc_dpb_sql_dialect);
    dpb += static_cast<char>(4);
    const std::int32_t dialect = sqlDialect_;
    dpb.append(reinterpret_cast<const char*>(&dialect), 4);

    Status status;
    isc_db_handle handle = 0;
    library_->attach_database(&status, static_cast<short>(databaseName_.size()),
                              databaseName_.c_str(), &handle, static_cast<short>(dpb.size()),
                              dpb.data());
    // The DPB holds the password: do not leave it lying in freed memory.
    std::fill(dpb.begin(), dpb.end(), '\0');
    library_->Check(status.vector);
    handle_ = handle;
}

void TIBDatabase::Close() {
    if (!Connected()) return;
    std::exception_ptr first;
    for (TIBQuery* q : queries_) q->ReleaseStatement();
    for (TIBTransaction* t : transactions_) {
        if (!t->InTransaction()) continue;
        try {
            t->EndByDefaultAction();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
        if (t->InTransaction()) {
            // The default action failed: give the work up so that we can detach.
            try {
                t->Rollback();
            } catch (...) {
            }
            t->Forget();
        }
    }
    Status status;
    library_->detach_database(&status, &handle_);
    handle_ = 0;
    if (!first && status.Failed())
        first = std::make_exception_ptr(library_->ErrorFrom(status.vector));
    if (first) std::rethrow_exception(first);
}

void TIBDatabase::AddTransaction(TIBTransaction* transaction) {
    Register(transactions_, transaction);
}

void TIBDatabase::RemoveTransaction(TIBTransaction* transaction) noexcept {
    Unregister(transactions_, transaction);
}

void TIBDatabase::AddQuery(TIBQuery* query) {
    Register(queries_, query);
}

void TIBDatabase::RemoveQuery(TIBQuery* query) noexcept {
    Unregister(queries_, query);
}

// ------------------------------------------------------------- TIBTransaction

TIBTransaction::TIBTransaction() : library_(&ClientLibrary::Instance()) {}

TIBTransaction::~TIBTransaction() {
    if (InTransaction()) {
        try {
            EndByDefaultAction();
        } catch (...) {
            try {
                Rollback();
            } catch (...) {
            }
        }
        handle_ = 0;
    }
    for (TIBQuery* q : queries_) q->TransactionGone();
    if (database_ != nullptr) database_->RemoveTransaction(this);
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase* database) {
    if (database == database_) return;
    if (InTransaction())
        throw EIBClientError("Cannot change the database of an active transaction");
    if (database_ != nullptr) database_->RemoveTransaction(this);
    database_ = database;
    if (database_ != nullptr) database_->AddTransaction(this);
}

TIBDatabase& TIBTransaction::Database() const {
    if (database_ == nullptr) throw EIBClientError("Transaction has no database");
    return *database_;
}

void TIBTransaction::StartTransaction() {
    if (InTransaction()) throw EIBClientError("Transaction is already active");
    TIBDatabase& db = Database();
    if (!db.Connected()) throw EIBClientError("Database not open");
    // No parameters is the server's default: read-write, snapshot, wait.
    std::string tpb;
    if (params_.Count() > 0) {
        tpb += static_cast<char>(isc_tpb_version3);
        for (const std::string& name : params_.Lines()) tpb += TransactionParameter(name);
    }
    TransactionBlock block{};
    block.database = db.Handle();
    block.tpbLength = static_cast<int>(tpb.size());
    block.tpb = tpb.empty() ? nullptr : tpb.data();
    Status status;
    library_->start_multiple(&status, &handle_, 1, &block);
    library_->Check(status.vector);
}

void TIBTransaction::CloseQueries() noexcept {
    for (TIBQuery* q : queries_) q->CloseQuietly();
}

void TIBTransaction::Commit() {
    End(true);
}

void TIBTransaction::Rollback() {
    End(false);
}

void TIBTransaction::End(bool commit) {
    if (!InTransaction()) throw EIBClientError("Transaction is not active");
    CloseQueries();
    Status status;
    (commit ? library_->commit_transaction : library_->rollback_transaction)(&status, &handle_);
    // A failure leaves the handle, and so the transaction, in place.
    library_->Check(status.vector);
    handle_ = 0;
}

void TIBTransaction::EndByDefaultAction() {
    if (!InTransaction()) return;
    defaultAction_ == TTransactionAction::TACommit ? Commit() : Rollback();
}

void TIBTransaction::AddQuery(TIBQuery* query) {
    Register(queries_, query);
}

void TIBTransaction::RemoveQuery(TIBQuery* query) noexcept {
    Unregister(queries_, query);
}

// ------------------------------------------------------------------- TIBQuery

// A prepared statement with the buffers of its output row.
struct TIBQuery::Statement {
    isc_stmt_handle handle = 0;
    int type = 0;
    std::vector<std::uint64_t> sqldaStorage;  // aligned home of the XSQLDA
    std::vector<std::vector<char>> data;
    std::vector<short> nullIndicators;

    XSQLDA* Sqlda() noexcept { return reinterpret_cast<XSQLDA*>(sqldaStorage.data()); }

    void AllocateSqlda(short count) {
        const std::size_t bytes =
            XSQLDA_LENGTH(static_cast<std::size_t>(std::max<short>(count, 1)));
        sqldaStorage.assign((bytes + 7) / 8, 0);
        Sqlda()->version = SQLDA_VERSION1;
        Sqlda()->sqln = std::max<short>(count, 1);
    }
};

namespace {

std::string ScaledInteger(std::int64_t value, int scale) {
    std::string digits = std::to_string(value < 0 ? -static_cast<std::uint64_t>(value)
                                                  : static_cast<std::uint64_t>(value));
    if (scale < 0) {
        const auto places = static_cast<std::size_t>(-scale);
        if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
        digits.insert(digits.size() - places, 1, '.');
    } else {
        digits.append(static_cast<std::size_t>(scale), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

std::string Floating(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Days since 1858-11-17 to a civil date.
std::string DateText(ISC_DATE days) {
    // Howard Hinnant's civil_from_days, shifted from the Unix epoch.
    long z = static_cast<long>(days) - 40587 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp < 10 ? mp + 3 : mp - 9;
    const long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld", y, m, d);
    return buffer;
}

std::string TimeText(ISC_TIME fractions) {
    const unsigned seconds = fractions / 10000;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buffer;
}

template <typename T>
T Load(const char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

}  // namespace

TIBQuery::TIBQuery() : library_(&ClientLibrary::Instance()) {}

TIBQuery::~TIBQuery() {
    ReleaseStatement();
    if (database_ != nullptr) database_->RemoveQuery(this);
    if (transaction_ != nullptr) transaction_->RemoveQuery(this);
}

void TIBQuery::SetDatabase(TIBDatabase* database) {
    if (database == database_) return;
    ReleaseStatement();
    if (database_ != nullptr) database_->RemoveQuery(this);
    database_ = database;
    if (database_ != nullptr) database_->AddQuery(this);
}

void TIBQuery::SetTransaction(TIBTransaction* transaction) {
    if (transaction == transaction_) return;
    CloseQuietly();
    if (transaction_ != nullptr) transaction_->RemoveQuery(this);
    transaction_ = transaction;
    if (transaction_ != nullptr) transaction_->AddQuery(this);
}

TIBDatabase& TIBQuery::Db() const {
    if (database_ == nullptr) throw EIBClientError("Query has no database");
    if (!database_->Connected()) throw EIBClientError("Database not open");
    return *database_;
}

TIBTransaction& TIBQuery::Tr() const {
    if (transaction_ == nullptr) throw EIBClientError("Query has no transaction");
    return *transaction_;
}

void TIBQuery::SetSQL(std::string text) {
    Close();
    FreeStatement();
    sql_ = std::move(text);
}

void TIBQuery::Prepare() {
    if (statement_) return;
    TIBDatabase& db = Db();
    TIBTransaction& tr = Tr();
    if (!tr.InTransaction()) tr.StartTransaction();  // AllowAutoStart
    if (sql_.empty()) throw EIBClientError("Statement text is empty");

    auto st = std::make_unique<Statement>();
    Status status;
    library_->dsql_allocate_statement(&status, db.Handle(), &st->handle);
    library_->Check(status.vector);
    // Owned from here: a failure below frees the handle.
    statement_ = std::move(st);
    Statement& s = *statement_;

    const auto dialect = static_cast<unsigned short>(db.SQLDialect());
    s.AllocateSqlda(1);
    Status prep;
    library_->dsql_prepare(&prep, tr.Handle(), &s.handle, static_cast<unsigned short>(sql_.size()),
                           sql_.c_str(), dialect, s.Sqlda());
    if (prep.Failed()) {
        const EIBError error = library_->ErrorFrom(prep.vector);
        FreeStatement();
        throw error;
    }
    if (s.Sqlda()->sqld > s.Sqlda()->sqln) {
        s.AllocateSqlda(s.Sqlda()->sqld);
        Status describe;
        library_->dsql_describe(&describe, &s.handle, dialect, s.Sqlda());
        library_->Check(describe.vector);
    }

    const char items[] = {isc_info_sql_stmt_type};
    char info[16] = {};
    Status infoStatus;
    library_->dsql_sql_info(&infoStatus, &s.handle, sizeof items, items, sizeof info, info);
    library_->Check(infoStatus.vector);
    if (info[0] == isc_info_sql_stmt_type) {
        const int length =
            static_cast<unsigned char>(info[1]) | (static_cast<unsigned char>(info[2]) << 8);
        int type = 0;
        for (int i = 0; i < length && i < 4; ++i)
            type |= static_cast<unsigned char>(info[3 + i]) << (8 * i);
        s.type = type;
    }

    XSQLDA* da = s.Sqlda();
    s.data.assign(static_cast<std::size_t>(da->sqld), {});
    s.nullIndicators.assign(static_cast<std::size_t>(da->sqld), 0);
    fields_.clear();
    for (int i = 0; i < da->sqld; ++i) {
        XSQLVAR& var = da->sqlvar[i];
        const auto index = static_cast<std::size_t>(i);
        const int type = var.sqltype & ~1;
        std::size_t size = static_cast<std::size_t>(var.sqllen) + (type == SQL_VARYING ? 2 : 0);
        s.data[index].assign(std::max<std::size_t>(size, 1), '\0');
        var.sqldata = s.data[index].data();
        var.sqlind = &s.nullIndicators[index];
        const short nameLength =
            var.aliasname_length > 0 ? var.aliasname_length : var.sqlname_length;
        const char* name = var.aliasname_length > 0 ? var.aliasname : var.sqlname;
        fields_.emplace_back(std::string(name, static_cast<std::size_t>(nameLength)));
    }
}

void TIBQuery::Execute() {
    TIBDatabase& db = Db();
    Status status;
    library_->dsql_execute(&status, Tr().Handle(), &statement_->handle,
                           static_cast<unsigned short>(db.SQLDialect()), nullptr);
    library_->Check(status.vector);
}

void TIBQuery::Open() {
    if (cursorOpen_) return;
    TIBTransaction& tr = Tr();
    Db();
    if (!tr.InTransaction()) tr.StartTransaction();
    Prepare();
    if (statement_->type != isc_info_sql_stmt_select &&
        statement_->type != isc_info_sql_stmt_select_for_upd) {
        throw EIBClientError("Statement does not return a result set");
    }
    Execute();
    cursorOpen_ = true;
    eof_ = false;
    Fetch();
}

void TIBQuery::Next() {
    if (!cursorOpen_) throw EIBClientError("Query is not open");
    if (!eof_) Fetch();
}

void TIBQuery::Fetch() {
    Statement& s = *statement_;
    Status status;
    const ISC_STATUS rc = library_->dsql_fetch(
        &status, &s.handle, static_cast<unsigned short>(Db().SQLDialect()), s.Sqlda());
    if (rc == 100) {
        eof_ = true;
        for (TIBField& f : fields_) f.SetValue({}, true);
        return;
    }
    library_->Check(status.vector);

    XSQLDA* da = s.Sqlda();
    for (int i = 0; i < da->sqld; ++i) {
        const XSQLVAR& var = da->sqlvar[i];
        TIBField& field = fields_[static_cast<std::size_t>(i)];
        if ((var.sqltype & 1) && *var.sqlind == -1) {
            field.SetValue({}, true);
            continue;
        }
        const char* data = var.sqldata;
        const auto length = static_cast<std::size_t>(var.sqllen);
        std::string value;
        switch (var.sqltype & ~1) {
            case SQL_TEXT:
                value.assign(data, length);
                break;
            case SQL_VARYING: {
                const auto n = static_cast<std::size_t>(Load<unsigned short>(data));
                value.assign(data + 2, std::min(n, length));
                break;
            }
            case SQL_SHORT:
                value = ScaledInteger(Load<std::int16_t>(data), var.sqlscale);
                break;
            case SQL_LONG:
                value = ScaledInteger(Load<std::int32_t>(data), var.sqlscale);
                break;
            case SQL_INT64:
                value = ScaledInteger(Load<std::int64_t>(data), var.sqlscale);
                break;
            case SQL_FLOAT:
                value = Floating(Load<float>(data));
                break;
            case SQL_DOUBLE:
            case SQL_D_FLOAT:
                value = Floating(Load<double>(data));
                break;
            case SQL_TYPE_DATE:
                value = DateText(Load<ISC_DATE>(data));
                break;
            case SQL_TYPE_TIME:
                value = TimeText(Load<ISC_TIME>(data));
                break;
            case SQL_TIMESTAMP: {
                const auto ts = Load<ISC_TIMESTAMP>(data);
                value = DateText(ts.timestamp_date) + " " + TimeText(ts.timestamp_time);
                break;
            }
            case SQL_BOOLEAN:
                value = data[0] ? "True" : "False";
                break;
            case SQL_BLOB: {
                ISC_QUAD id = Load<ISC_QUAD>(data);
                isc_blob_handle blob = 0;
                Status open;
                library_->open_blob2(&open, Db().Handle(), Tr().Handle(), &blob, &id, 0, nullptr);
                library_->Check(open.vector);
                char segment[8192];
                for (;;) {
                    unsigned short got = 0;
                    Status get;
                    const ISC_STATUS r =
                        library_->get_segment(&get, &blob, &got, sizeof segment, segment);
                    if (r != 0 && r != isc_segment) {
                        Status close;
                        library_->close_blob(&close, &blob);
                        if (r == isc_segstr_eof) break;
                        library_->Check(get.vector);
                    }
                    value.append(segment, got);
                }
                break;
            }
            default:
                value.assign(data, length);
                break;
        }
        field.SetValue(std::move(value), false);
    }
}

TIBField& TIBQuery::FieldByName(std::string_view name) {
    for (TIBField& f : fields_) {
        if (cursorOpen_ && text::EqualsIgnoreAsciiCase(f.FieldName(), name)) return f;
    }
    throw EIBClientError("Field '" + std::string(name) + "' not found");
}

void TIBQuery::Close() {
    if (!cursorOpen_) return;
    cursorOpen_ = false;
    eof_ = true;
    Status status;
    library_->dsql_free_statement(&status, &statement_->handle, DSQL_close);
    library_->Check(status.vector);
}

void TIBQuery::ExecSQL() {
    if (cursorOpen_)
        throw EIBClientError("Cannot execute a statement while its result set is open");
    TIBTransaction& tr = Tr();
    Db();
    if (!tr.InTransaction()) tr.StartTransaction();
    Prepare();
    Execute();
    if (statement_->type == isc_info_sql_stmt_select) {
        Status status;
        library_->dsql_free_statement(&status, &statement_->handle, DSQL_close);
    }
}

void TIBQuery::FreeStatement() {
    if (!statement_) return;
    cursorOpen_ = false;
    eof_ = true;
    std::unique_ptr<Statement> s = std::move(statement_);
    fields_.clear();
    if (database_ == nullptr || !database_->Connected() || s->handle == 0) return;
    Status status;
    library_->dsql_free_statement(&status, &s->handle, DSQL_drop);
    library_->Check(status.vector);
}

void TIBQuery::CloseQuietly() noexcept {
    try {
        Close();
    } catch (...) {
        // The transaction that held the cursor is ending anyway.
    }
}

void TIBQuery::ReleaseStatement() noexcept {
    try {
        FreeStatement();
    } catch (...) {
        statement_.reset();
    }
}

void TIBQuery::DatabaseGone() noexcept {
    statement_.reset();
    fields_.clear();
    cursorOpen_ = false;
    database_ = nullptr;
}

void TIBQuery::TransactionGone() noexcept {
    CloseQuietly();
    transaction_ = nullptr;
}

// ------------------------------------------------------------ TIBDatabaseInfo

TIBDatabaseInfo::TIBDatabaseInfo() : library_(&ClientLibrary::Instance()) {}

namespace {

// The user-name items of an isc_database_info reply; false when it was cut short.
bool ParseUserNames(const std::vector<char>& reply, std::vector<std::string>& names) {
    std::size_t i = 0;
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(reply[at]); };
    while (i < reply.size()) {
        const unsigned char item = byte(i);
        if (item == isc_info_end) return true;
        if (item == isc_info_truncated) return false;
        if (i + 3 > reply.size()) return false;
        const std::size_t length = byte(i + 1) | (static_cast<std::size_t>(byte(i + 2)) << 8);
        if (i + 3 + length > reply.size()) return false;
        if (item == isc_info_user_names && length >= 1) {
            const std::size_t nameLength = std::min<std::size_t>(byte(i + 3), length - 1);
            names.emplace_back(reply.data() + i + 4, nameLength);
        }
        i += 3 + length;
    }
    return false;
}

}  // namespace

const TStringList& TIBDatabaseInfo::UserNames() {
    userNames_.Clear();
    if (database_ == nullptr || !database_->Connected()) throw EIBClientError("Database not open");

    std::vector<std::string> reported;
    const char items[] = {isc_info_user_names, isc_info_end};
    for (std::size_t size = 4096;; size *= 4) {
        std::vector<char> reply(size, '\0');
        Status status;
        library_->database_info(&status, database_->Handle(), sizeof items, items,
                                static_cast<short>(std::min<std::size_t>(size, 32767)),
                                reply.data());
        library_->Check(status.vector);
        reported.clear();
        if (ParseUserNames(reply, reported) || size >= 32767) break;
    }

    // Firebird shows a plain user only its own attachment in the list above,
    // and newer servers merge equal names; the monitoring table does neither.
    std::vector<std::string> monitored;
    {
        TIBTransaction probe;
        probe.SetParams({"read", "read_committed", "rec_version", "nowait"});
        probe.SetDefaultDatabase(database_);
        TIBQuery query;
        query.SetDatabase(database_);
        query.SetTransaction(&probe);
        query.SetSQL("SELECT MON$USER FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0");
        try {
            query.Open();
            for (; !query.Eof(); query.Next())
                monitored.push_back(query.FieldByName("MON$USER").AsString());
        } catch (const EIBError& e) {
            // -204/-206: a server without monitoring tables.
            if (e.SQLCode() != -204 && e.SQLCode() != -206) throw;
        }
        query.Close();
        if (probe.InTransaction()) probe.Commit();
        query.SetTransaction(nullptr);
        probe.SetDefaultDatabase(nullptr);
    }
    for (std::string& name : monitored.size() > reported.size() ? monitored : reported) {
        userNames_.Add(std::move(name));
    }
    return userNames_;
}
