#include "serial/os_error.h"

namespace quillar::detail {

std::string TrimMessageTail(std::string text) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

} // namespace quillar::detail
