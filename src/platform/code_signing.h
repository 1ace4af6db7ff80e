// Authenticode signatures of files the program is about to trust, and the
// holds that keep such a file from being swapped once it has been checked.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/http_transport.h"

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
// file, written as the download arrives, checked, named and started
// through one hold, so that nobody else can write, rename or delete it
// meanwhile. Until it is given its name the system deletes it when the
// hold ends, be it by the program's own hand or because the program died.
class StagedFile : public HeldFile, public net::BodyFile {
public:
    // The file's full path now.
    virtual std::string Path() const = 0;
    // Reads up to dst.size() bytes at offset through the hold; fewer at the
    // end of the file. Throws tav::Failure.
    virtual size_t Read(uint64_t offset, std::span<uint8_t> dst) = 0;
    // Commits what was written to the disk; throws tav::Failure.
    virtual void Flush() = 0;
    // Gives the file the name `name` in its folder; when a file of that
    // name exists, fails, or replaces it when replaceExisting is set. From
    // then on the file stays when the hold ends.
    virtual void Rename(const std::string& name, bool replaceExisting) = 0;
    // Makes the named file startable, still held against writers, renamers
    // and deleters; throws tav::Failure when the file at the name is no
    // longer the one written. What it holds is for the caller to confirm
    // (through Read) once this returns.
    virtual void PrepareStart() = 0;
};

class CodeSigning {
public:
    virtual ~CodeSigning() = default;
    // Opens path for reading, shared for reading only; throws tav::Failure
    // when the file is missing or already open for writing.
    virtual std::unique_ptr<HeldFile> Hold(const std::string& path) = 0;
    // Creates a new, empty file of its own in folder (never an existing
    // one; the system's temporary folder when folder is empty) and holds
    // it; throws tav::Failure, leaving no file behind, when that cannot be
    // done.
    virtual std::unique_ptr<StagedFile> CreateStaged(const std::string& folder) = 0;
};

}  // namespace tav
