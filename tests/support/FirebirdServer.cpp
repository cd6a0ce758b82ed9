#include "tests/support/FirebirdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fbtest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kServerBinary = "/usr/sbin/firebird";
// The server answers in well under a second here; the bound only guards a hung start.
constexpr auto kReadyTimeout = 15s;
// A server restarted after a SIGKILL may ignore SIGTERM for good; a clean stop takes 0.1 s.
constexpr auto kStopTimeout = 2s;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

[[noreturn]] void FailErrno(const std::string& what) {
    Fail(what + ": " + std::strerror(errno));
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

fs::path InstallRoot() {
    const fs::path usual = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
    if (fs::exists(usual / "plugins.conf")) return usual;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib", ec)) {
        const fs::path candidate = entry.path() / "firebird" / "3.0";
        if (fs::exists(candidate / "plugins.conf")) return candidate;
    }
    Fail("Firebird 3.0 is not installed (no /usr/lib/*/firebird/3.0/plugins.conf)");
}

std::string SqlQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

int MemoryFile(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) FailErrno("memfd_create");
    return fd;
}

void WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            FailErrno("write");
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadAll(int fd) {
    if (::lseek(fd, 0, SEEK_SET) < 0) FailErrno("lseek");
    std::string data;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            FailErrno("read");
        }
        if (n == 0) return data;
        data.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Polls rather than blocks so that a hung child cannot hang the test binary.
bool WaitFor(pid_t pid, int& status, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    Clock::duration pause = 1ms;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) FailErrno("waitpid");
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min<Clock::duration>(pause * 2, 20ms);
    }
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// The inode of the socket listening on 127.0.0.1:port or 0.0.0.0:port, 0 when none.
unsigned long ListeningInode(int port) {
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode;
        if (state != "0A") continue;
        const auto colon = local.find(':');
        if (colon == std::string::npos) continue;
        const std::string host = local.substr(0, colon);
        if (host != "0100007F" && host != "00000000") continue;
        if (std::stoi(local.substr(colon + 1), nullptr, 16) == port) return inode;
    }
    return 0;
}

// Free for the server, which binds with SO_REUSEADDR: connections of a killed server that
// linger in TIME_WAIT do not count, a listener does.
bool PortFree(int port) {
    if (ListeningInode(port) != 0) return false;
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0) FailErrno("socket");
    const int on = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Loopback(port);
    return ::bind(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

int PickFreePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        int port = 0;
        {
            Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            if (s.get() < 0) FailErrno("socket");
            sockaddr_in address = Loopback(0);
            if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                FailErrno("bind 127.0.0.1:0");
            socklen_t length = sizeof address;
            if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
                FailErrno("getsockname");
            port = ntohs(address.sin_port);
        }
        if (PortFree(port)) return port;
    }
    Fail("no free loopback port found");
}

bool OwnsSocket(pid_t pid, unsigned long inode) {
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError).string() == wanted) return true;
    }
    return false;
}

std::string Describe(const std::vector<std::string>& argv) {
    std::string text;
    for (const auto& arg : argv) text += (text.empty() ? "" : " ") + arg;
    return text;
}

ProcessResult RunIsql(const std::string& script) {
    return Run({"isql-fb", "-b", "-q"}, script);
}

void CheckIsql(const ProcessResult& result, const std::string& connection) {
    if (result.exitCode != 0)
        Fail("isql-fb failed on " + connection + " (exit " + std::to_string(result.exitCode) +
             "):\n" + result.err + result.out);
}

}  // namespace

ProcessResult Run(const std::vector<std::string>& argv, const std::string& input,
                  int timeoutSeconds) {
    if (argv.empty()) Fail("Run: no program");
    // Memory files instead of pipes: no SIGPIPE, no deadlock on large output.
    Fd in(MemoryFile("stdin")), out(MemoryFile("stdout")), err(MemoryFile("stderr"));
    WriteAll(in.get(), input);
    if (::lseek(in.get(), 0, SEEK_SET) < 0) FailErrno("lseek");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) Fail("cannot start " + argv[0] + ": " + std::strerror(spawned));

    int status = 0;
    if (!WaitFor(pid, status, std::chrono::seconds(timeoutSeconds))) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        Fail(Describe(argv) + " did not end within " + std::to_string(timeoutSeconds) + " s");
    }
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(out.get());
    result.err = ReadAll(err.get());
    return result;
}

FirebirdServer::FirebirdServer() : owner_(::getpid()) {
    const fs::path root = InstallRoot();
    std::string pattern = (fs::temp_directory_path() / "fbtest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) FailErrno("mkdtemp " + pattern);
    folder_ = pattern;
    try {
        for (const char* sub : {"lock", "tmp", "intl", "db"}) fs::create_directory(folder_ / sub);
        // A real copy: through a symbolic link the module loads but finds no character sets.
        fs::copy_file(root / "intl" / "libfbintl.so", folder_ / "intl" / "libfbintl.so");
        fs::copy_file(fs::canonical(root / "intl" / "fbintl.conf"),
                      folder_ / "intl" / "fbintl.conf");
        fs::copy_file(fs::canonical(root / "plugins.conf"), folder_ / "plugins.conf");
        std::ofstream(folder_ / "databases.conf").flush();

        port_ = PickFreePort();
        WriteConfiguration();
        // Before any client library use in this process: the client reads the port and the
        // lock folder from here once.
        ::setenv("FIREBIRD", folder_.c_str(), 1);
        ::setenv("FIREBIRD_LOCK", (folder_ / "lock").c_str(), 1);
        ::setenv("FIREBIRD_TMP", (folder_ / "tmp").c_str(), 1);
        ::setenv("FIREBIRD_MSG", root.c_str(), 1);
        ::unsetenv("ISC_USER");
        ::unsetenv("ISC_PASSWORD");
        CreateSecurityDatabase();

        // Someone may take the port between our check and the server's bind; nothing has
        // read the configuration yet, so another port is still possible here.
        for (int attempt = 0;; ++attempt) {
            if (StartOnce() == StartResult::Ready) break;
            if (attempt == 4) Fail("every loopback port tried was taken");
            port_ = PickFreePort();
            WriteConfiguration();
        }
    } catch (...) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
        throw;
    }
}

FirebirdServer::~FirebirdServer() {
    // A forked child (a death test) must not stop its parent's server.
    if (::getpid() != owner_) return;
    try {
        Stop();
    } catch (const std::exception& e) {
        std::cerr << "fbtest: stopping the server failed: " << e.what() << '\n';
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void FirebirdServer::WriteConfiguration() const {
    std::ofstream conf(folder_ / "firebird.conf");
    conf << "RemoteServicePort = " << port_ << "\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "ServerMode = Super\n"
         << "SecurityDatabase = " << (folder_ / "security3.fdb").string() << "\n"
         << "TempDirectories = " << (folder_ / "tmp").string() << "\n"
         << "AuthServer = Srp\n"
         << "UserManager = Srp\n";
    if (!conf.flush()) Fail("cannot write " + (folder_ / "firebird.conf").string());
}

void FirebirdServer::CreateSecurityDatabase() const {
    // Embedded, before the server runs: no login is checked yet.
    const std::string security = (folder_ / "security3.fdb").string();
    const auto created = Run({"isql-fb", "-b", "-q", "-user", "SYSDBA"},
                             "CREATE DATABASE " + SqlQuoted(security) + ";\n");
    CheckIsql(created, security);
    const auto users =
        Run({"isql-fb", "-b", "-q", "-user", "SYSDBA", security},
            "CREATE USER SYSDBA PASSWORD " + SqlQuoted(kSysdbaPassword) + ";\nCREATE USER " +
                kUser + " PASSWORD " + SqlQuoted(kPassword) +
                ";\nCOMMIT;\nGRANT CREATE DATABASE TO USER " + kUser + ";\nCOMMIT;\n");
    CheckIsql(users, security);
}

void FirebirdServer::Start() {
    if (Running()) return;
    if (StartOnce() == StartResult::PortTaken)
        Fail("loopback port " + std::to_string(port_) + " of the private server is taken");
}

FirebirdServer::StartResult FirebirdServer::StartOnce() {
    if (!PortFree(port_)) return StartResult::PortTaken;

    const std::string logPath = (folder_ / "server.log").string();
    Fd log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (log.get() < 0) FailErrno("open " + logPath);
    Fd null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (null.get() < 0) FailErrno("open /dev/null");
    char* args[] = {const_cast<char*>(kServerBinary), nullptr};
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) FailErrno("fork");
    if (pid == 0) {
        // Only async-signal-safe calls until exec. The server dies with the test binary
        // even when that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(null.get(), 0);
        ::dup2(log.get(), 1);
        ::dup2(log.get(), 2);
        ::execve(kServerBinary, args, environ);
        ::_exit(127);
    }
    pid_ = pid;

    const std::string service = "127.0.0.1/" + std::to_string(port_) + ":service_mgr";
    const auto deadline = Clock::now() + kReadyTimeout;
    std::string lastError;
    while (Clock::now() < deadline) {
        if (!Running()) {
            Fail("the private Firebird server exited during start-up; its output:\n" +
                 ReadFile(logPath));
        }
        const unsigned long inode = ListeningInode(port_);
        if (inode != 0 && !OwnsSocket(pid_, inode)) {
            // Another process answers on our port: our server would retry bind for a minute.
            Kill();
            return StartResult::PortTaken;
        }
        if (inode != 0) {
            const auto probe = Run({"fbsvcmgr", service, "user", "SYSDBA", "password",
                                    kSysdbaPassword, "info_server_version"},
                                   {}, 10);
            if (probe.exitCode == 0) return StartResult::Ready;
            lastError = probe.err + probe.out;
        }
        std::this_thread::sleep_for(20ms);
    }
    Kill();
    Fail("the private Firebird server on port " + std::to_string(port_) +
         " was not ready in time: " + lastError + "\nits output:\n" + ReadFile(logPath));
}

void FirebirdServer::Reap(bool block) const {
    if (pid_ <= 0) return;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) pid_ = -1;
}

bool FirebirdServer::Running() const {
    Reap(false);
    return pid_ > 0;
}

void FirebirdServer::Stop() {
    if (!Running()) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (WaitFor(pid_, status, kStopTimeout)) {
        pid_ = -1;
        return;
    }
    Kill();
}

void FirebirdServer::Kill() {
    if (!Running()) return;
    ::kill(pid_, SIGKILL);
    Reap(true);
}

std::string FirebirdServer::Remote(const std::filesystem::path& file) const {
    return "localhost:" + file.string();
}

void FirebirdServer::AddUser(const std::string& name, const std::string& password) const {
    const auto result = Run({"fbsvcmgr", "127.0.0.1/" + std::to_string(port_) + ":service_mgr",
                             "user", "SYSDBA", "password", kSysdbaPassword, "action_add_user",
                             "sec_username", name, "sec_password", password});
    if (result.exitCode != 0) Fail("cannot add user " + name + ": " + result.err + result.out);
}

FirebirdServer& Server() {
    static std::unique_ptr<FirebirdServer> server;
    static std::string failure;
    if (server) return *server;
    if (!failure.empty()) Fail(failure);
    try {
        server = std::make_unique<FirebirdServer>();
    } catch (const std::exception& e) {
        failure = std::string("the private Firebird server cannot start: ") + e.what();
        std::cerr << "fbtest: " << failure << '\n';
        Fail(failure);
    }
    return *server;
}

void CreateDatabase(const std::string& connection, const std::string& sql, const std::string& user,
                    const std::string& password) {
    Server();
    const std::string script = "SET SQL DIALECT 1;\nCREATE DATABASE " + SqlQuoted(connection) +
                               " USER " + SqlQuoted(user) + " PASSWORD " + SqlQuoted(password) +
                               ";\n" + sql + "\n";
    CheckIsql(RunIsql(script), connection);
}

std::string Isql(const std::string& connection, const std::string& sql, const std::string& user,
                 const std::string& password) {
    Server();
    const std::string script = "SET SQL DIALECT 1;\nCONNECT " + SqlQuoted(connection) + " USER " +
                               SqlQuoted(user) + " PASSWORD " + SqlQuoted(password) + ";\n" + sql +
                               "\n";
    const auto result = RunIsql(script);
    CheckIsql(result, connection);
    return result.out;
}

std::vector<std::string> Column(const std::string& connection, const std::string& select,
                                const std::string& user, const std::string& password) {
    std::string statement = select;
    while (!statement.empty() &&
           (statement.back() == ';' || std::isspace(static_cast<unsigned char>(statement.back()))))
        statement.pop_back();
    // In list mode isql prints each value after its column name padded to 32 characters
    // and a blank line after each row.
    constexpr std::size_t kValueColumn = 32;
    const std::string out = Isql(connection, "SET LIST ON;\n" + statement + ";\n", user, password);
    std::vector<std::string> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() >= kValueColumn) values.push_back(line.substr(kValueColumn));
    }
    return values;
}

std::filesystem::path NewDatabasePath(const std::string& stem) {
    static std::atomic<int> counter{0};
    const fs::path dir = Server().DatabaseDir();
    for (;;) {
        fs::path candidate = dir / (stem + "-" + std::to_string(++counter) + ".fdb");
        if (!fs::exists(candidate)) return candidate;
    }
}

}  // namespace fbtest
