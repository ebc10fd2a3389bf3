#pragma once
// Whether received text holds anything to show: Print and the archive both
// treat a text of only blanks, line breaks and control bytes as empty.

#include <string>

namespace quillar {

inline bool IsBlankText(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

} // namespace quillar
