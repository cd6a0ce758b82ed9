#include "platform/bde/Session.h"

#include <cstdlib>
#include <utility>

std::filesystem::path AliasConfigPathFromEnvironment() {
    const char* value = std::getenv("DBENGINE_CONFIG");
    if (value != nullptr && *value != '\0') return value;
    return "/etc/dbengine/aliases.conf";
}

TSession::TSession(std::string sessionName) : sessionName_(std::move(sessionName)) {}

TSession::TSession(std::string sessionName, std::filesystem::path configFile)
    : sessionName_(std::move(sessionName)),
      configFile_(std::move(configFile)),
      configFileGiven_(true) {}

TSession::~TSession() = default;

const AliasConfig& TSession::Current() {
    if (config_ == nullptr) {
        const std::filesystem::path file =
            configFileGiven_ ? configFile_ : AliasConfigPathFromEnvironment();
        FileStamp stamp;
        auto config = std::make_unique<AliasConfig>(AliasConfig::Load(file, &stamp));
        configFile_ = file;
        loadedStamp_ = stamp;
        config_ = std::move(config);
        return *config_;
    }
    if (StampOf(configFile_) != loadedStamp_) {
        // A failed reload keeps the old stamp, so every later request tries
        // again instead of serving what the file no longer says.
        FileStamp stamp;
        AliasConfig config = AliasConfig::Load(configFile_, &stamp);
        *config_ = std::move(config);
        loadedStamp_ = stamp;
    }
    return *config_;
}

void TSession::GetAliasNames(TStringList& list) {
    const AliasConfig& config = Current();
    list.Clear();
    for (const AliasDefinition& alias : config.Aliases()) list.Add(alias.name);
}

namespace {

const AliasDefinition& Require(const AliasConfig& config, const std::string& aliasName,
                               const std::filesystem::path& file) {
    const AliasDefinition* alias = config.Find(aliasName);
    if (alias == nullptr) {
        throw EDBEngineError("Unknown database alias \"" + aliasName +
                             "\": the alias configuration " + file.string() + " has no such alias");
    }
    return *alias;
}

}  // namespace

void TSession::GetAliasParams(const std::string& aliasName, TStringList& list) {
    const AliasDefinition& alias = Require(Current(), aliasName, configFile_);
    list.Clear();
    for (const std::string& line : alias.params) list.Add(line);
}

std::string TSession::GetAliasDriverName(const std::string& aliasName) {
    return Require(Current(), aliasName, configFile_).driverName;
}
