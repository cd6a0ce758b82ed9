#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/bde/AliasConfig.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/StringList.h"

VORN_DECLARE_EXCEPTION(EDBEngineError, Exception);

// The alias file that the engine reads: $DBENGINE_CONFIG when set and not
// empty, else /etc/dbengine/aliases.conf.
std::filesystem::path AliasConfigPathFromEnvironment();

// The database engine's session. It is created unstarted; the first request
// starts it by reading the alias configuration, and a request after the file
// changed on disk reads it again. Once started it stays started: a file that
// breaks or vanishes later fails each request until it is mended.
class TSession {
  public:
    // The configuration path is taken from the environment when the session starts.
    explicit TSession(std::string sessionName = "Default");
    TSession(std::string sessionName, std::filesystem::path configFile);
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    const std::string& SessionName() const noexcept { return sessionName_; }
    bool Active() const noexcept { return config_ != nullptr; }

    // Each request raises EDBEngineError when the configuration cannot be read
    // or is malformed, and the two per-alias ones when the alias is unknown.

    // Empties `list`, then adds every alias name in the configuration's order.
    void GetAliasNames(TStringList& list);
    // Empties `list`, then adds the alias's parameter lines as written; the
    // list is left alone when the request fails.
    void GetAliasParams(const std::string& aliasName, TStringList& list);
    std::string GetAliasDriverName(const std::string& aliasName);

  private:
    const AliasConfig& Current();

    std::string sessionName_;
    std::filesystem::path configFile_;
    bool configFileGiven_ = false;
    std::unique_ptr<AliasConfig> config_;
    FileStamp loadedStamp_{};
};
