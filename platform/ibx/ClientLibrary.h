#pragma once

#include <ibase.h>

#include <string>
#include <vector>

#include "platform/ibx/IBErrors.h"

// The client library's C interface, loaded at run time and kept for the run.
class ClientLibrary {
  public:
    // Loads the library on first use; raises EIBClientError when no candidate
    // loads. $VORNUPD_CLIENT_LIBRARY, when set, is the only candidate.
    static ClientLibrary& Instance();
    // The file names tried, in order.
    static std::vector<std::string> Candidates();

    ~ClientLibrary();
    ClientLibrary(const ClientLibrary&) = delete;
    ClientLibrary& operator=(const ClientLibrary&) = delete;

    decltype(&::isc_attach_database) attach_database = nullptr;
    decltype(&::isc_detach_database) detach_database = nullptr;
    decltype(&::isc_database_info) database_info = nullptr;
    decltype(&::isc_start_multiple) start_multiple = nullptr;
    decltype(&::isc_commit_transaction) commit_transaction = nullptr;
    decltype(&::isc_rollback_transaction) rollback_transaction = nullptr;
    decltype(&::isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
    decltype(&::isc_dsql_prepare) dsql_prepare = nullptr;
    decltype(&::isc_dsql_describe) dsql_describe = nullptr;
    decltype(&::isc_dsql_sql_info) dsql_sql_info = nullptr;
    decltype(&::isc_dsql_execute) dsql_execute = nullptr;
    decltype(&::isc_dsql_fetch) dsql_fetch = nullptr;
    decltype(&::isc_dsql_free_statement) dsql_free_statement = nullptr;
    decltype(&::isc_open_blob2) open_blob2 = nullptr;
    decltype(&::isc_get_segment) get_segment = nullptr;
    decltype(&::isc_close_blob) close_blob = nullptr;
    decltype(&::fb_interpret) interpret = nullptr;
    decltype(&::isc_sqlcode) sqlcode = nullptr;

    // Raises EIBError worded from `status` when it reports a failure.
    void Check(const ISC_STATUS* status) const;
    EIBError ErrorFrom(const ISC_STATUS* status) const;

  private:
    ClientLibrary() = default;
    void* handle_ = nullptr;
};

// A fresh status vector per call, so that a clean-up after a failure never
// overwrites the first error.
struct Status {
    ISC_STATUS_ARRAY vector{};
    ISC_STATUS* operator&() noexcept { return vector; }
    bool Failed() const noexcept { return vector[0] == 1 && vector[1] != 0; }
};
