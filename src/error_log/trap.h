// The failure trap: the only place where failures are caught.
//
// A routine runs its statements through one trap named after the routine
// ("frmMain.Form_Load"). A statement that fails is logged under that name
// and the routine goes on with its next statement, as the product has always
// done. Silent traps skip a failing statement without logging it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "core/failure.h"

namespace tav {

class Trap {
public:
    explicit Trap(std::string routine) : routine_(std::move(routine)) {}
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
    bool silent() const { return silent_; }

private:
    Trap() : silent_(true) {}
    void Handle(const Failure& f) noexcept;

    std::string routine_;
    std::string lastError_;
    bool silent_ = false;
};

}  // namespace tav
