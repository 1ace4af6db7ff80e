// Authenticode signatures of files the program is about to trust, and the
// holds that keep such a file from being swapped once it has been checked.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
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

// A downloaded installer on its way from the network to the shell: a new
// file, written, checked, named and started through one hold, so that
// nobody else can write, rename or delete it meanwhile. Unless it was given
// its name, the file is deleted when the hold ends.
class StagedFile : public HeldFile {
public:
    // The file's full path now.
    virtual std::string Path() const = 0;
    // Gives the file the name `name` in its folder; when a file of that
    // name exists, fails, or replaces it when replaceExisting is set. From
    // then on the file stays when the hold ends.
    virtual void Rename(const std::string& name, bool replaceExisting) = 0;
    // Makes the named file startable, still held against writers, renamers
    // and deleters; throws tav::Failure when the file at the name is no
    // longer exactly the one written and checked.
    virtual void PrepareStart() = 0;
};

class CodeSigning {
public:
    virtual ~CodeSigning() = default;
    // Opens path for reading, shared for reading only; throws tav::Failure
    // when the file is missing or already open for writing.
    virtual std::unique_ptr<HeldFile> Hold(const std::string& path) = 0;
    // Creates a new file of its own in folder (never an existing one),
    // writes the pieces into it and holds it; throws tav::Failure, leaving
    // no file behind, when that cannot be done.
    virtual std::unique_ptr<StagedFile> Stage(const std::string& folder,
                                              const std::vector<std::span<const uint8_t>>& pieces) = 0;
};

}  // namespace tav
