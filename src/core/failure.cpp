#include "core/failure.h"

#include <utility>

namespace tav {

Failure::Failure(int32_t number, std::string description, std::string source, int32_t line)
    : number_(number),
      description_(std::move(description)),
      source_(std::move(source)),
      line_(line) {}

namespace err {

std::string DescriptionOf(int32_t number) {
    switch (number) {
        case kInvalidCall:
            return "Invalid procedure call or argument";
        case kOverflow:
            return "Overflow";
        case kOutOfMemory:
            return "Out of memory";
        case kSubscriptOutOfRange:
            return "Subscript out of range";
        case kDivisionByZero:
            return "Division by zero";
        case kTypeMismatch:
            return "Type mismatch";
        case kUserInterrupt:
            return "User interrupt occurred";
        case kInternalError:
            return "Internal error";
        case kBadFileNameOrNumber:
            return "Bad file name or number";
        case kFileNotFound:
            return "File not found";
        case kBadFileMode:
            return "Bad file mode";
        case kFileAlreadyOpen:
            return "File already open";
        case kDeviceIo:
            return "Device I/O error";
        case kFileAlreadyExists:
            return "File already exists";
        case kDiskFull:
            return "Disk full";
        case kTooManyFiles:
            return "Too many files";
        case kPermissionDenied:
            return "Permission denied";
        case kPathFileAccess:
            return "Path/File access error";
        case kPathNotFound:
            return "Path not found";
        case kObjectNotSet:
            return "Object variable or With block variable not set";
        case kInvalidPropertyValue:
            return "Invalid property value";
        case kCantCreateObject:
            return "ActiveX component can't create object";
        case kAutomationError:
            return "Automation error";
        default:
            return "Application-defined or object-defined error";
    }
}

Failure Make(int32_t number) { return Failure(number, DescriptionOf(number)); }

}  // namespace err

}  // namespace tav
