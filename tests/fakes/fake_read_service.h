// A read service the test drives by hand: it logs requests and cancels and
// delivers whatever notifications the test asks for.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/read_service.h"

namespace tav::fakes {

class FakeReadService : public ReadService {
public:
    void AsyncRead(AsyncReadSink& s, const std::string& target, const std::string& name,
                   int32_t options) override;
    void CancelAsyncRead(AsyncReadSink& s, const std::string& name) override;
    void CancelAll(AsyncReadSink& s) noexcept override;

    // Notifications to the last sink for the last request (cancelled or
    // not: a service may still deliver after a cancel).
    void Progress(int32_t bytesMax, const std::string& soFar, int32_t asyncType = kAsyncTypeByteArray);
    void Complete(const std::string& body);
    void Fail(const Failure& failure);

    std::vector<std::string> calls;  // "read <target> <name> <options>", "cancel <name>", "cancel all"
    std::string last;                // the last request's name
    std::set<std::string> live;
    int32_t failWith = 0;  // AsyncRead and CancelAsyncRead fail with this number

private:
    AsyncReadSink* sink_ = nullptr;
};

}  // namespace tav::fakes
