#include "platform/rtl/StringList.h"

#include "platform/rtl/Text.h"

const std::string& TStringList::Strings(int index) const {
    CheckIndex(index);
    return lines_[static_cast<std::size_t>(index)];
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    lines_.erase(lines_.begin() + index);
}

int TStringList::IndexOfName(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && text::EqualsIgnoreAsciiCase(line.substr(0, eq), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TStringList::Value(std::string_view name) const {
    const int i = IndexOfName(name);
    if (i < 0) return {};
    const std::string& line = lines_[static_cast<std::size_t>(i)];
    return line.substr(line.find('=') + 1);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
    std::string line = std::string(name) + "=" + std::string(value);
    const int i = IndexOfName(name);
    if (i < 0) {
        lines_.push_back(std::move(line));
    } else {
        lines_[static_cast<std::size_t>(i)] = std::move(line);
    }
}

EStringListError TStringList::IndexError(int index) {
    return EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw IndexError(index);
}
