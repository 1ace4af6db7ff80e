// Run-time failures and the current error record.
//
// A failure carries the fields support staff read in the error log: number,
// source, description and line. Failures the classic run-time knew keep its
// numbers and texts so that old and new logs read alike.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tav {

// Source written for failures raised by the program itself.
inline constexpr const char* kErrorSource = "TAVUpdate";

class Failure : public std::exception {
public:
    Failure(int32_t number, std::string description, std::string source = kErrorSource,
            int32_t line = 0);

    int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }
    int32_t line() const noexcept { return line_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int32_t number_;
    std::string description_;
    std::string source_;
    int32_t line_;
};

namespace err {
// Classic run-time error numbers the program raises.
enum Code : int32_t {
    kInvalidCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kDivisionByZero = 11,
    kTypeMismatch = 13,
    kUserInterrupt = 18,
    kInternalError = 51,
    kBadFileNameOrNumber = 52,
    kFileNotFound = 53,
    kBadFileMode = 54,
    kFileAlreadyOpen = 55,
    kDeviceIo = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kTooManyFiles = 67,
    kPermissionDenied = 70,
    kPathFileAccess = 75,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kInvalidPropertyValue = 380,
    kCantCreateObject = 429,
    kAutomationError = 440,
};

// The classic run-time's text for a number; "Application-defined or
// object-defined error" for numbers it did not know.
std::string DescriptionOf(int32_t number);

// A failure with the classic number and text.
Failure Make(int32_t number);
}  // namespace err

}  // namespace tav
