#include "platform/bde/AliasConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/bde/Session.h"
#include "platform/rtl/Text.h"

namespace {

constexpr std::string_view kTypePrefix = "TYPE=";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::int64_t Nanoseconds(const struct timespec& t) noexcept {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileStamp StampFrom(const struct stat& st) noexcept {
    return FileStamp{static_cast<std::uintmax_t>(st.st_dev), static_cast<std::uintmax_t>(st.st_ino),
                     static_cast<std::intmax_t>(st.st_size), Nanoseconds(st.st_mtim),
                     Nanoseconds(st.st_ctim)};
}

[[noreturn]] void CannotRead(const std::filesystem::path& file, int error) {
    throw EDBEngineError(
        "An error occurred while attempting to initialize the database engine: cannot read the "
        "alias configuration " +
        file.string() + ": " + std::strerror(error) + " (error $2501)");
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const noexcept { return fd_; }

  private:
    int fd_;
};

class Parser {
  public:
    explicit Parser(const std::string& fileName) : fileName_(fileName) {}

    void Line(std::size_t number, std::string_view line) {
        number_ = number;
        if (!text::IsValidUtf8(line)) Fail("the line is not valid UTF-8 text");

        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == ';' || line[first] == '#') return;
        if (line[first] == '[') return Section(line, first);

        if (aliases_.empty()) Fail("a parameter line stands before the first alias");
        if (line.substr(0, kTypePrefix.size()) == kTypePrefix) return Type(line);
        if (line.find('=') == std::string_view::npos) {
            Fail("the line is neither an alias name in brackets nor a parameter with \"=\"");
        }
        aliases_.back().params.emplace_back(line);
    }

    std::vector<AliasDefinition> Finish() {
        EndAlias();
        return std::move(aliases_);
    }

    std::unordered_map<std::string, std::size_t> TakeIndex() { return std::move(index_); }

  private:
    void Section(std::string_view line, std::size_t first) {
        std::size_t last = line.size();
        while (last > first && IsBlank(line[last - 1])) --last;
        if (last - first < 2 || line[last - 1] != ']') {
            Fail("the alias name is not closed by \"]\"");
        }
        const std::string_view name = line.substr(first + 1, last - first - 2);
        if (name.empty()) Fail("the alias name is empty");
        const std::size_t length = text::Length(name);
        if (length > AliasConfig::kMaxNameLength) {
            Fail("the alias name \"" + std::string(name) + "\" has " + std::to_string(length) +
                 " characters, more than " + std::to_string(AliasConfig::kMaxNameLength));
        }
        EndAlias();
        auto [it, added] = index_.emplace(text::Lower(name), aliases_.size());
        if (!added) {
            Fail("the alias name \"" + std::string(name) + "\" repeats the alias of line " +
                 std::to_string(lines_[it->second]));
        }
        aliases_.push_back(AliasDefinition{std::string(name), {}, {}});
        lines_.push_back(number_);
        typeLines_ = 0;
    }

    void Type(std::string_view line) {
        if (++typeLines_ > 1) {
            Fail("the alias \"" + aliases_.back().name + "\" has a second TYPE line");
        }
        const std::string_view driver = line.substr(kTypePrefix.size());
        const std::size_t length = text::Length(driver);
        if (length > AliasConfig::kMaxNameLength) {
            Fail("the driver type name has " + std::to_string(length) + " characters, more than " +
                 std::to_string(AliasConfig::kMaxNameLength));
        }
        aliases_.back().driverName = std::string(driver);
    }

    void EndAlias() {
        if (!aliases_.empty() && typeLines_ == 0) {
            number_ = lines_.back();
            Fail("the alias \"" + aliases_.back().name + "\" has no TYPE line");
        }
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw EDBEngineError("Invalid alias configuration " + fileName_ + ", line " +
                             std::to_string(number_) + ": " + what);
    }

    const std::string& fileName_;
    std::vector<AliasDefinition> aliases_;
    std::vector<std::size_t> lines_;  // line of each alias's name, for messages
    std::unordered_map<std::string, std::size_t> index_;
    int typeLines_ = 0;
    std::size_t number_ = 0;
};

}  // namespace

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return StampFrom(st);
}

AliasConfig AliasConfig::Parse(std::string_view text, const std::string& fileName) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());

    Parser parser(fileName);
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        parser.Line(++number, line);
    }

    AliasConfig config;
    config.aliases_ = parser.Finish();
    config.index_ = parser.TakeIndex();
    return config;
}

AliasConfig AliasConfig::Load(const std::filesystem::path& file, FileStamp* stamp) {
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) CannotRead(file, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) CannotRead(file, errno);
    if (S_ISDIR(st.st_mode)) CannotRead(file, EISDIR);

    std::string content;
    if (st.st_size > 0) content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            CannotRead(file, errno);
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }

    AliasConfig config = Parse(content, file.string());
    // The stamp from before the read: a write during it shows as a change next time.
    if (stamp != nullptr) *stamp = StampFrom(st);
    return config;
}

const AliasDefinition* AliasConfig::Find(std::string_view name) const {
    const auto it = index_.find(text::Lower(name));
    return it == index_.end() ? nullptr : &aliases_[it->second];
}
