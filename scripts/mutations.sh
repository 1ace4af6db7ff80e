#!/usr/bin/env bash
# Puts deliberate one-line faults into the program, one at a time, and shows
# that the test named beside each fails with it (and passes without it). A
# fault no test notices means a hole in the suite. Run after the test command
# has built everything; the source is restored after each fault, also when
# interrupted. Usage: bash scripts/mutations.sh [name...]
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# name | file | text to replace (must occur once) | replacement | preset | ctest -R
faults() {
  cat <<'EOF'
lost-cr-lf | src/platform/win32/files_win32.cpp | Utf8ToAnsi(text) + "\r\n" | Utf8ToAnsi(text) + "\n" | win64 | ^(FilesWinTest\.|InstallerTrustE2eTest\.Refused)
wrong-registry-view | src/platform/win32/registry_win32.cpp | view32_ ? KEY_WOW64_32KEY : KEY_WOW64_64KEY | view32_ ? 0 : KEY_WOW64_64KEY | win64 | ^(RegistryWinTest\.|UpdateE2eTest\.Silent)
flipped-signature-verdict | src/platform/win32/code_signing_win32.cpp | info.state = SignatureState::Invalid; | info.state = SignatureState::Valid; | win64 | ^(CodeSigningWin\.|InstallerTrustE2eTest\.Refused)
skipped-old-e2e | src/main_window/frmMain.cpp | services_.RenameFile(folder + sInstallerFile_, folder + backup) | services_.RemoveFile(folder + sInstallerFile_) | win64 | ^UpdateE2eTest\.Silent
missed-slash-s-e2e | src/main_window/frmMain.cpp | view_.SilentChecked() ? "/s" : "" | "" | win64 | ^UpdateE2eTest\.Silent
closed-form-clicks | src/platform/win32/form_window.cpp | if (closed_ && IgnoredWhenClosed | if (false && IgnoredWhenClosed | win64 | ^FormWindowTest
wrap-off-by-one | src/dialog/dialog_layout.cpp | lineLength + wordLength < kLineLimit | lineLength + wordLength <= kLineLimit | host | DialogTextTest
log-line-break | src/error_log/CErrorUpdate.cpp | if (c < 0x20 | if (c < 0x0A | host | ErrorLogTest
short-name-alias | src/main_window/command_line.cpp | name.find('~') != std::string::npos | false | host | CommandLineTest
device-trailing-blank | src/main_window/command_line.cpp | stem.back() == u' ' | stem.back() == u'\t' | host | CommandLineTest
dev-broken-signature | src/install/installer_trust.cpp | if (installer.state == SignatureState::Invalid) | if (false) | host | InstallerTrustTest
pinned-verdict-flipped | src/install/installer_trust.cpp | if (!pinned) return Refuse | if (pinned) return Refuse | host | InstallerTrustTest
close-wait-endless | src/install/related_programs.cpp | if (tools.clock.TickCount() - start > limitMs) return | if (tools.clock.TickCount() - start > limitMs * 1000) return | host | ProgramsTest
close-wait-spins | src/install/related_programs.cpp | WaitForEvents(options.timings.pollMs) | WaitForEvents(0) | host | ProgramsTest
weak-etag-resume | src/download/http_fetch.cpp | !StartsWithNoCase(r.etag, "w/") | true | host | FetchTest
https-to-http | src/download/http_fetch.cpp | IsHttpsUrl(current) && !IsHttpsUrl(r.location) | false | host | FetchTest
misspelt-routine | src/install/process_utils.cpp | Trap trap(tools.log, "modORSutils.CloseAll"); | Trap trap(tools.log, "modORSUtils.CloseAll"); | host | ProgramsTest
progress-kibibytes | src/main_window/command_line.cpp | RoundHalfEven32(nBytes / 1000.0) | RoundHalfEven32(nBytes / 1024.0) | host | CommandLineTest
empty-body-handed-over | src/download/GetNetFile.cpp | if (byteCount_ == 0) file_.reset(); | if (false) file_.reset(); | host | GetNetFileTest
frmMain-routine-name | src/main_window/frmMain.cpp | kInstallUpdate = "frmMain.InstallUpdate"; | kInstallUpdate = "frmMain.InstalUpdate"; | host | FrmMainTest
frmMain-trap-name | src/main_window/frmMain.cpp | Trap trap(log_, "frmMain.Status"); | Trap trap(log_, "frmMain.Stat"); | host | FrmMainTest
missed-slash-s | src/main_window/frmMain.cpp | ? "/s" : "" | ? "" : "" | host | FrmMainTest
skipped-old | src/main_window/frmMain.cpp | trap([&] { services_.RenameFile(folder + sInstallerFile_, folder + backup); }); | true; | host | FrmMainTest
failure-closes-window | src/main_window/frmMain.cpp | view_.SetBarError(); | view_.SetBarError(); CloseWindow(); | host | FrmMainTest
setter-creates-key | src/system/registry.cpp | status_ = api_.OpenKeyEx(root, subkey, 0, access, key.handle()); | status_ = access == kKeyWrite ? api_.CreateKey(root, subkey, key.handle()) : api_.OpenKeyEx(root, subkey, 0, access, key.handle()); | host | RegistryTest
progress-counted-wrong | src/main_window/frmMain.cpp | if (progressEvents_ >= 5) progressEvents_ = 0; | if (progressEvents_ >= 6) progressEvents_ = 0; | host | FrmMainTest
unprepared-start | src/main_window/frmMain.cpp | if (trap([&] { services_.PrepareInstallerStart(*staged_, StopRequested()); })) return true; | return true; | host | FrmMainTest
backup-fatal | src/main_window/frmMain.cpp | const bool replace = present && !movedAside_; | const bool replace = false; | host | FrmMainTest
msi-started | src/main_window/command_line.cpp | if (EndsWith(upper, u".MSI")) | if (false) | host | FrmMainTest|CommandLineTest
path-length-unchecked | src/main_window/command_line.cpp | if (units(folder) + 1 + longestName <= kMaxPathLength) return {}; | return {}; | host | FrmMainTest
unknown-start-ended | src/install/process_utils.cpp | same = entry.creationTime != 0 && created == entry.creationTime; | same = entry.creationTime == 0 ? created != 0 : created == entry.creationTime; | host | ProgramsTest
untold-instance-runs | src/app/modMain.cpp | if (!told) { | if (!told && false) { | host | MainTest
expand-sz-used | src/app/modMain.cpp | if (type == kRegExpandSz) | if (false) | host | MainTest
share-not-retried | src/platform/win32/share_retry.h | tries == kShareRetries) { | tries == 0) { | win64 | ^ShareRetryWinTest
body-cut-off | src/platform/win32/dialog_view_win32.h | kBreakOverWideWords = SS_EDITCONTROL; | kBreakOverWideWords = 0; | win64 | ^FormWindowTest
shell-raw-number | src/platform/win32/shell_win32.cpp | throw Failure(ClassicFileError(error), SystemErrorText(error)); | throw Failure(static_cast<int32_t>(error), SystemErrorText(error)); | win64 | ^ShellWinTest
staging-not-doomed | src/platform/win32/code_signing_win32.cpp | if (!SetDeleteDisposition(file.get(), true)) { | if (false) { | win64 | ^UpdateE2eTest\.AProgramKilled
digest-unjudged | src/install/installer_trust.cpp | if (!expected  | if (true  | host | InstallerTrustTest
digest-field-ignored | src/main_window/command_line.cpp | result.expectedDigest = ExpectedDigest(fields[1]); | result.expectedDigest = fields.size() > 5 ? ExpectedDigest(fields[1]) : std::nullopt; | host | CommandLineTest
restart-appends | src/download/http_fetch.cpp | body_.Truncate(); | (void)body_; | host | FetchTest
restart-hash-kept | src/download/http_fetch.cpp | hasher_.Reset(); | (void)hasher_; | host | FetchTest
aborted-check-goes-on | src/main_window/frmMain.cpp | // Abort during the check: the window is gone, nothing was touched. | if (false) | host | FrmMainTest
held-digest-unread | src/install/installer_trust.cpp | if (got == 0) break; | break; | host | InstallerTrustTest
countdown-late | src/dialog/frmDialog.cpp | if (lElapsedSeconds >= lDialogTimeout) { | if (lElapsedSeconds > lDialogTimeout) { | host | DialogTest
sha256-schedule | src/core/sha256.cpp | (w[i - 15] >> 3) | (w[i - 15] >> 2) | host | Sha256Test
pe32-plus-unread | src/core/pe_image.cpp | else if (magic == 0x20B) | else if (magic == 0x20C) | host | PeImageTest
runs-as-invoker | src/resources/TAVUpdate.manifest | level="requireAdministrator" | level="asInvoker" | win64 | ^ElevationWin\.
dll-search-open | src/platform/win32/entry.cpp | ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); | (void)0; | win64 | ^DllPlantingTest\.
enter-ignored | src/platform/win32/form_window.cpp | if (target) ::SendMessageW(target, BM_CLICK, 0, 0); | (void)target; | win64 | ^DialogWinTest\.
creation-time-swapped | src/platform/win32/processes_win32.cpp | GetProcessTimes(ToHandle(process), &created, &exited | GetProcessTimes(ToHandle(process), &exited, &created | win64 | ^ProcessesWinTest\.
read-zero-ends | src/platform/win32/wininet_body.cpp | s.left == 0 ? 1 : std::min | s.left == 0 ? 0 : std::min | win64 | ^ReadLoop\.
escape-ignored | src/platform/win32/form_window.cpp | ::SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0); | (void)0; | win64 | ^MainWindowWinTest\.
shell-verb | src/platform/win32/shell_win32.cpp | info.lpVerb = L"Open"; | info.lpVerb = L"runas"; | win64 | ^ShellWinTest\.
start-timer-interval | src/main_window/frmMain.cpp | kTimerBeginUpdateMs = 10; | kTimerBeginUpdateMs = 1000; | host | FrmMainTest
EOF
}

restore=""
cleanup() { [ -n "$restore" ] && git checkout -q -- "$restore"; }
trap cleanup EXIT

wine_ready=""
ensure_wine() {
  [ -n "$wine_ready" ] && return
  source scripts/wine-env.sh
  tav_start_display
  tav_prepare_prefix
  trap 'cleanup; tav_stop_wine' EXIT
  wine_ready=1
}

status=0
while IFS='|' read -r name file old new preset regex; do
  name="$(echo "$name" | xargs)"
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  file="$(echo "$file" | xargs)"; preset="$(echo "$preset" | xargs)"; regex="$(echo "$regex" | xargs)"
  old="${old# }"; old="${old% }"; new="${new# }"; new="${new% }"
  if ! git diff --quiet -- "$file"; then echo "$name: $file has local changes, skipped"; status=1; continue; fi
  restore="$file"
  if ! OLD="$old" NEW="$new" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
old, new = os.environ["OLD"], os.environ["NEW"]
if text.count(old) != 1:
    sys.exit(f"expected one occurrence of {old!r} in {path}, found {text.count(old)}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
  then status=1; cleanup; restore=""; continue; fi
  [ "$preset" = host ] || ensure_wine
  if ! cmake --build --preset "$preset" >"build/mutation-$name.log" 2>&1; then
    verdict="DOES NOT BUILD (not a fault the tests can judge)"; status=1
  elif ctest --preset "$preset" -R "$regex" >>"build/mutation-$name.log" 2>&1; then
    verdict="NOT CAUGHT"; status=1
  else
    verdict="caught by $(grep -oE '[0-9]+ - [^ ]+ \((Failed|Timeout|Exception)' "build/mutation-$name.log" |
      sed -E 's/^[0-9]+ - //; s/ \(.*//' | sort -u | paste -sd, -)"
  fi
  cleanup; restore=""
  printf '%-28s %s\n' "$name" "$verdict"
done < <(faults)
# Rebuild what the last fault touched, so the build folders hold the real program.
for preset in host win64 win32; do
  [ -d "build/$preset" ] && cmake --build --preset "$preset" >/dev/null 2>&1
done
exit $status
