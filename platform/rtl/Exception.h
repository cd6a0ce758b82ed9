#pragma once

#include <exception>
#include <string>

// Base of every failure that the program and its platform layers raise. The
// class name travels with it because the start-up failure box names it.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

  private:
    std::string message_;
};

// Declares a descendant of Exception that differs only in its class name.
#define VORN_DECLARE_EXCEPTION(Name, Base)                                \
    class Name : public Base {                                            \
      public:                                                             \
        using Base::Base;                                                 \
        const char* ClassName() const noexcept override { return #Name; } \
    }

VORN_DECLARE_EXCEPTION(EStringListError, Exception);
