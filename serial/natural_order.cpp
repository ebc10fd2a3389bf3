#include "serial/natural_order.h"

#include <cstddef>

namespace quillar::detail {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Compares two digit runs by value without converting them, so that any
// length works: skip leading zeros, then the longer run is larger, then the
// first differing digit decides. Answers <0, 0 or >0.
int CompareDigitRuns(std::string_view a, std::string_view b) {
    std::size_t za = 0;
    while (za + 1 < a.size() && a[za] == '0') {
        ++za;
    }
    std::size_t zb = 0;
    while (zb + 1 < b.size() && b[zb] == '0') {
        ++zb;
    }
    a.remove_prefix(za);
    b.remove_prefix(zb);
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

} // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i;
            while (ei < a.size() && IsDigit(a[ei])) {
                ++ei;
            }
            std::size_t ej = j;
            while (ej < b.size() && IsDigit(b[ej])) {
                ++ej;
            }
            const int c = CompareDigitRuns(a.substr(i, ei - i), b.substr(j, ej - j));
            if (c != 0) {
                return c < 0;
            }
            i = ei;
            j = ej;
        } else {
            const auto ca = static_cast<unsigned char>(a[i]);
            const auto cb = static_cast<unsigned char>(b[j]);
            if (ca != cb) {
                return ca < cb;
            }
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size(); // the shorter rest comes first
    }
    // Equal in value: fall back to the bytes so that distinct names never tie.
    return a < b;
}

} // namespace quillar::detail
