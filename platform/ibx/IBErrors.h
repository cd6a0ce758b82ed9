#pragma once

#include <string>

#include "platform/rtl/Exception.h"

// The client library is missing, or a component is used in a way it refuses.
VORN_DECLARE_EXCEPTION(EIBClientError, Exception);

// The server or the client library reported a failure: the message is the
// status vector as the library words it, line by line.
class EIBError : public Exception {
  public:
    EIBError(std::string message, long sqlCode, long ibErrorCode)
        : Exception(std::move(message)), sqlCode_(sqlCode), ibErrorCode_(ibErrorCode) {}

    long SQLCode() const noexcept { return sqlCode_; }
    long IBErrorCode() const noexcept { return ibErrorCode_; }
    const char* ClassName() const noexcept override { return "EIBError"; }

  private:
    long sqlCode_;
    long ibErrorCode_;
};
