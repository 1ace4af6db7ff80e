// What the download tests share: the loopback server's address and body.
#pragma once

#include <string>

#include "win_test_support.h"

namespace tav::nettest {

inline std::string Url(const std::string& pathAndQuery) {
    return "http://127.0.0.1:" + std::to_string(wintest::ServerPort(TAV_NET_STATE)) + pathAndQuery;
}

// Bytes [0, n) of the server's pattern body.
inline std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((7 * i + 13 * (i >> 8) + (i >> 16)) & 0xFF);
    return s;
}

}  // namespace tav::nettest
