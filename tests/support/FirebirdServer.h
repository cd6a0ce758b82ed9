#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fbtest {

// Only ever the password of our private instance.
inline constexpr const char* kSysdbaPassword = "masterkey";
inline constexpr const char* kUser = "kefu";
inline constexpr const char* kPassword = "kefu";

// A Firebird server of our own: its own folder, configuration, security database and
// loopback port, so that it never meets a system server or another test binary's one.
// Constructing it points this process's environment (and so every child and every client
// library loaded later) at that folder; embedded access then uses its lock folder too.
class FirebirdServer {
  public:
    FirebirdServer();
    ~FirebirdServer();
    FirebirdServer(const FirebirdServer&) = delete;
    FirebirdServer& operator=(const FirebirdServer&) = delete;

    void Start();
    // SIGTERM, then SIGKILL when it does not end in time.
    void Stop();
    // SIGKILL, as a crash of the server would be.
    void Kill();

    bool Running() const;
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path DatabaseDir() const { return folder_ / "db"; }
    // A connection string that reaches this server over TCP.
    std::string Remote(const std::filesystem::path& file) const;
    // Adds a login through the running server's services.
    void AddUser(const std::string& name, const std::string& password) const;

  private:
    enum class StartResult { Ready, PortTaken };
    StartResult StartOnce();
    void WriteConfiguration() const;
    void CreateSecurityDatabase() const;
    void Reap(bool block) const;

    std::filesystem::path folder_;
    int port_ = 0;
    mutable pid_t pid_ = -1;
    pid_t owner_ = -1;
};

// The one server of a test binary: started on first use, stopped at exit. Throws when it
// cannot start, so the calling test fails; a failed start is not retried.
FirebirdServer& Server();

// Creates a dialect-1 database as `user` and runs `sql` in it (SET TERM allowed).
// `connection` is a plain file path (embedded) or a Remote() string.
void CreateDatabase(const std::string& connection, const std::string& sql,
                    const std::string& user = kUser, const std::string& password = kPassword);

// Runs `sql` through isql-fb in dialect 1 and returns what it printed; throws
// std::runtime_error with isql's error output when a statement fails.
std::string Isql(const std::string& connection, const std::string& sql,
                 const std::string& user = kUser, const std::string& password = kPassword);

// The values of a one-column query, in order, as isql shows them ("<null>" for NULL).
std::vector<std::string> Column(const std::string& connection, const std::string& select,
                                const std::string& user = kUser,
                                const std::string& password = kPassword);

// A path that no file has yet, in Server().DatabaseDir().
std::filesystem::path NewDatabasePath(const std::string& stem);

struct ProcessResult {
    int exitCode = -1;  // -1 when killed by a signal
    std::string out;
    std::string err;
};

// Runs a program (looked up in PATH) with this process's environment, `input` on its
// standard input; no shell. Throws when it cannot be started or does not end in time.
ProcessResult Run(const std::vector<std::string>& argv, const std::string& input = {},
                  int timeoutSeconds = 120);

}  // namespace fbtest
