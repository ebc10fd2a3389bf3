#include "serial/port_names.h"

namespace quillar::detail {

bool StartsWithUpperCased(std::string_view name, std::string_view prefix) {
    if (name.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 'a' + 'A');
        }
        if (c != static_cast<unsigned char>(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::int32_t ParseDecimal(std::string_view digits) {
    if (digits.empty() || digits.size() > 6) {
        return -1;
    }
    std::int32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace quillar::detail
