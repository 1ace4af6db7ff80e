// The failure trap: the only place where failures are caught.
//
// A routine runs its statements that can fail through one trap named after
// the routine ("frmMain.Form_Load"), which writes to the log it was given.
// A statement that fails is logged under that name and the routine goes on
// with its next statement, as the product has always done. Silent traps
// skip a failing statement without logging it.
#pragma once

#include <new>
#include <string>
#include <utility>

#include "core/failure.h"

namespace tav {

class CErrorUpdate;

class Trap {
public:
    Trap(CErrorUpdate& log, std::string routine) : log_(&log), routine_(std::move(routine)) {}
    static Trap Silent() { return Trap(); }

    // Runs one statement; true when it completed, false when it failed (and
    // was logged unless the trap is silent). Never throws.
    template <class Statement>
    bool operator()(Statement&& statement) noexcept {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const Failure& f) {
            Handle(f);
        } catch (const std::bad_alloc&) {
            Handle(err::Make(err::kOutOfMemory));
        } catch (const std::exception& e) {
            Handle(Failure(err::kInternalError, e.what()));
        } catch (...) {
            Handle(err::Make(err::kInternalError));
        }
        return false;
    }

    const std::string& routine() const { return routine_; }
    // What the last failure this trap caught said ("" before any).
    const std::string& lastError() const { return lastError_; }
    bool silent() const { return log_ == nullptr; }

private:
    Trap() = default;
    void Handle(const Failure& f) noexcept;

    CErrorUpdate* log_ = nullptr;  // null: silent
    std::string routine_;
    std::string lastError_;
};

}  // namespace tav
