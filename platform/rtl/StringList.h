#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Exception.h"

// An ordered list of text lines, with the "name=value" access of parameter lists.
class TStringList {
  public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : lines_(lines) {}

    int Count() const noexcept { return static_cast<int>(lines_.size()); }
    // Raises EStringListError "List index out of bounds (i)" outside the list.
    const std::string& Strings(int index) const;
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Delete(int index);
    void Clear() noexcept { lines_.clear(); }

    // Index of the first line whose name (the text before '=') equals `name`,
    // ASCII letter case ignored; -1 when none does.
    int IndexOfName(std::string_view name) const noexcept;
    // The value of the named line, or the empty text.
    std::string Value(std::string_view name) const;
    // Replaces the value of the named line, or appends "name=value".
    void SetValue(std::string_view name, std::string_view value);

    const std::vector<std::string>& Lines() const noexcept { return lines_; }
    // The error that reading or deleting outside a list raises.
    static EStringListError IndexError(int index);
    friend bool operator==(const TStringList&, const TStringList&) = default;

  private:
    void CheckIndex(int index) const;

    std::vector<std::string> lines_;
};
