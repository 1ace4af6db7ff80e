// What the download tests share: the loopback servers the test run
// started, the pattern body they serve, and a message pump.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tav::nettest {

struct Servers {
    int misbehave = 0;       // port of the server that misbehaves on purpose
    int tls = 0;             // the same with TLS and an untrusted certificate
    int plain = 0;           // port of python's http.server
    std::string plainFile;   // the file it serves as /payload.bin (Windows path)
    size_t plainSize = 0;
};

// The running servers; empty ports when the state file is missing.
const Servers& LoopbackServers();

// http://127.0.0.1:<misbehave port><path>
std::string Url(const std::string& pathAndQuery);

// Bytes [0, n) of the body the misbehaving server sends.
std::string Pattern(size_t n);

// The requests the misbehaving server saw for tag, one line each.
std::vector<std::string> ServerLog(const std::string& tag);

// Runs the thread's messages until done() holds; false after limitMs.
bool PumpUntil(const std::function<bool()>& done, unsigned long limitMs = 30000);

// The names of the files in folder.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace tav::nettest
