#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct AliasDefinition {
    std::string name;
    std::string driverName;
    std::vector<std::string> params;
};

// The parsed alias file. Parsing raises EDBEngineError naming the file, the
// line and the fault; a malformed file yields no aliases at all.
class AliasConfig {
public:
    static AliasConfig Parse(std::string_view text, const std::string& fileName);
    // Raises EDBEngineError "... (error $2501)" when the file cannot be read.
    static AliasConfig Load(const std::filesystem::path& file);

    const std::vector<AliasDefinition>& Aliases() const noexcept { return aliases_; }
    // Letter case ignored; nullptr when the alias is not configured.
    const AliasDefinition* Find(std::string_view name) const;

private:
    std::vector<AliasDefinition> aliases_;
    std::unordered_map<std::string, std::size_t> index_;  // upper-cased name -> position
};
