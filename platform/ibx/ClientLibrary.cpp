#include "platform/ibx/ClientLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename Fn>
void Resolve(void* handle, const char* name, Fn& target) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        throw EIBClientError(std::string("Client library lacks the entry point ") + name);
    }
    target = reinterpret_cast<Fn>(symbol);
}

}  // namespace

std::vector<std::string> ClientLibrary::Candidates() {
    if (const char* chosen = std::getenv("VORNUPD_CLIENT_LIBRARY"); chosen && *chosen) {
        return {chosen};
    }
#ifdef _WIN32
    return {"gds32.dll", "fbclient.dll"};
#else
    return {"libfbclient.so.2", "libfbclient.so"};
#endif
}

ClientLibrary& ClientLibrary::Instance() {
    // Loaded once and kept for the run, as the components expect.
    static std::unique_ptr<ClientLibrary> instance;
    if (instance) return *instance;

    const std::vector<std::string> candidates = Candidates();
    void* handle = nullptr;
    for (const std::string& name : candidates) {
        handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) break;
    }
    if (handle == nullptr) {
        throw EIBClientError("InterBase library " + candidates.front() +
                             " not found in the path. Please install InterBase to use this "
                             "functionality");
    }
    std::unique_ptr<ClientLibrary> lib(new ClientLibrary);
    lib->handle_ = handle;
    Resolve(handle, "isc_attach_database", lib->attach_database);
    Resolve(handle, "isc_detach_database", lib->detach_database);
    Resolve(handle, "isc_database_info", lib->database_info);
    Resolve(handle, "isc_start_multiple", lib->start_multiple);
    Resolve(handle, "isc_commit_transaction", lib->commit_transaction);
    Resolve(handle, "isc_rollback_transaction", lib->rollback_transaction);
    Resolve(handle, "isc_dsql_allocate_statement", lib->dsql_allocate_statement);
    Resolve(handle, "isc_dsql_prepare", lib->dsql_prepare);
    Resolve(handle, "isc_dsql_describe", lib->dsql_describe);
    Resolve(handle, "isc_dsql_sql_info", lib->dsql_sql_info);
    Resolve(handle, "isc_dsql_execute", lib->dsql_execute);
    Resolve(handle, "isc_dsql_fetch", lib->dsql_fetch);
    Resolve(handle, "isc_dsql_free_statement", lib->dsql_free_statement);
    Resolve(handle, "isc_open_blob2", lib->open_blob2);
    Resolve(handle, "isc_get_segment", lib->get_segment);
    Resolve(handle, "isc_close_blob", lib->close_blob);
    Resolve(handle, "fb_interpret", lib->interpret);
    Resolve(handle, "isc_sqlcode", lib->sqlcode);
    instance = std::move(lib);
    return *instance;
}

ClientLibrary::~ClientLibrary() {
    // The library stays mapped: its own exit handlers run after ours.
}

EIBError ClientLibrary::ErrorFrom(const ISC_STATUS* status) const {
    std::string message;
    char line[1024];
    const ISC_STATUS* cursor = status;
    while (interpret(line, sizeof line, &cursor) > 0) {
        if (!message.empty()) message += '\n';
        message += line;
    }
    if (message.empty()) message = "Unknown client library error";
    return EIBError(std::move(message), sqlcode(status), static_cast<long>(status[1]));
}

void ClientLibrary::Check(const ISC_STATUS* status) const {
    if (status[0] == 1 && status[1] != 0) throw ErrorFrom(status);
}
