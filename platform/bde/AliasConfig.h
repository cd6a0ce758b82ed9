#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct AliasDefinition {
    std::string name;
    std::string driverName;
    std::vector<std::string> params;
};

// What tells one state of the file on disk from another without reading it.
// The inode catches an editor's replace-by-rename that keeps size and time.
struct FileStamp {
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    std::intmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Stamp of the file as it is now; nullopt when it cannot be examined.
std::optional<FileStamp> StampOf(const std::filesystem::path& file);

// The parsed alias file. Parsing raises EDBEngineError naming the file, the
// line and the fault; a malformed file yields no aliases at all.
class AliasConfig {
  public:
    static constexpr std::size_t kMaxNameLength = 31;  // code points, for names and driver names

    static AliasConfig Parse(std::string_view text, const std::string& fileName);
    // Raises EDBEngineError "... (error $2501)" when the file cannot be read.
    // `stamp`, when given, receives the stamp of the file that was read.
    static AliasConfig Load(const std::filesystem::path& file, FileStamp* stamp = nullptr);

    const std::vector<AliasDefinition>& Aliases() const noexcept { return aliases_; }
    // Letter case ignored; nullptr when the alias is not configured.
    const AliasDefinition* Find(std::string_view name) const;

  private:
    std::vector<AliasDefinition> aliases_;
    std::unordered_map<std::string, std::size_t> index_;  // case-folded name -> position
};
