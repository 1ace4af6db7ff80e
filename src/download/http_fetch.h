// The rules of one download, apart from the network library that carries
// it: which answers count, redirects, the announced length, resuming a
// dropped connection, the size limit. Fetch (declared with the transport it
// runs over) is defined here.
#pragma once

#include <string>

#include "platform/http_transport.h"

namespace tav::net {

// True for http:// and https:// addresses (any case).
bool IsHttpUrl(const std::string& url);
bool IsHttpsUrl(const std::string& url);

}  // namespace tav::net
