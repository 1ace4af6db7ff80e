// A read service that the test drives by hand: it records requests and
// delivers whatever notifications the test asks for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/read_service.h"

namespace tav::fakes {

// A byte view holding exactly text's bytes.
ByteView MakeView(const std::string& text);

class FakeReadService : public ReadService {
public:
    void AsyncRead(AsyncReadSink& sink, const std::string& target, const std::string& name,
                   int32_t options) override;
    void CancelAsyncRead(AsyncReadSink& sink, const std::string& name) override;
    void CancelAll(AsyncReadSink& sink) noexcept override;

    // Notifications for the request of that name (cancelled or not: a
    // service may still deliver after a cancel).
    void Progress(const std::string& name, int32_t bytesMax, const std::string& soFar,
                  int32_t asyncType = kAsyncTypeByteArray);
    void Complete(const std::string& name, const std::string& body);
    void Fail(const std::string& name, const Failure& failure);

    struct Request {
        AsyncReadSink* sink = nullptr;
        std::string target, name;
        int32_t options = 0;
        bool active = true;
    };
    std::vector<Request> requests;
    std::vector<std::string> cancels;  // names, in order
    int cancelAlls = 0;
    // When set, AsyncRead and CancelAsyncRead fail with this number.
    int32_t failReadsWith = 0;
    int32_t failCancelsWith = 0;

private:
    Request& Find(const std::string& name);
};

}  // namespace tav::fakes
