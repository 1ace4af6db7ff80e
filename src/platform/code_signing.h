// Authenticode signatures of files the program is about to trust, and a
// hold that keeps such a file from being swapped once it has been checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tav {

enum class SignatureState {
    Unsigned,  // no signature at all
    Valid,     // intact and chained to a trusted root
    Invalid,   // present but broken, untrusted, expired, revoked...
};

struct SignatureInfo {
    SignatureState state = SignatureState::Unsigned;
    // The verifier's own result code, for the log.
    uint32_t status = 0;
    // The signer certificate's DER-encoded SubjectPublicKeyInfo; empty when
    // no signer could be read.
    std::vector<uint8_t> signerKeyInfo;
    // The subject as people read it ("CN=..., O=..."), for messages.
    std::string signerName;
};

// An open file that nobody can write, rename or delete while it lives.
class HeldFile {
public:
    virtual ~HeldFile() = default;
    // Verifies the signature of exactly the bytes this hold keeps.
    virtual SignatureInfo Signature() = 0;
};

class CodeSigning {
public:
    virtual ~CodeSigning() = default;
    // Opens path for reading, shared for reading only; throws tav::Failure
    // when the file is missing or already open for writing.
    virtual std::unique_ptr<HeldFile> Hold(const std::string& path) = 0;
};

}  // namespace tav
