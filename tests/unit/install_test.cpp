// Before the installer runs: finding, asking and ending the TAV programs
// (against a fake process table, window chain and clock), judging the
// installer's signature, and the system layer under them: the registry's
// own rules against an in-memory registry and the processor width that
// picks the installer's program folder.
#include <gmock/gmock.h>

#include "fakes/fake_code_signing.h"
#include "fakes/fake_platform.h"
#include "install/installer_trust.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "core/sha256.h"
#include "system/environment_helpers.h"
#include "system/registry.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.registry.AddKey(kWatchDogKey);
        fake.events.onDoEvents = [this] {
            fake.clock.Advance(1);
        };  // so that a spinning wait would show
    }
    ProcessEntry Entry(uint32_t id) {
        return {id, procs.Get(id).imageName, procs.Get(id).creationTime};
    }
    uint32_t Windowed(const std::string& name) {
        const uint32_t id = procs.Start(name);
        return procs.AddWindow(id), id;
    }
    // The watchdog's command and acknowledgement, and the service stops run.
    std::string Outcome() {
        return fake.state.registry.GetStringValue(kWatchDogKey, kWatchDogCommandValue)
                   .value_or("-") +
               " " +
               std::to_string(
                   fake.state.registry.GetDWORDValue(kWatchDogKey, kWatchDogShutDownValue)
                       .value_or(0)) +
               " " + std::to_string(fake.shell.runs.size());
    }
    uint32_t Elapsed() const { return fake.clock.tick - start_; }
    ShutdownOptions StopAfter(uint32_t ms) {
        return {[this, ms] { return Elapsed() >= ms; }, {}};
    }
    fakes::FakePlatform fake;
    fakes::FakeProcesses& procs = fake.processes;
    ProcessTools tools{procs,      fake.events,      fake.clock,    fake.files,
                       fake.shell, fake.environment, fake.state.log};
    uint32_t start_ = fake.clock.tick;
};

// Every top-level window of the program is told the session ends, then it
// is terminated; a failing step is logged, and on it goes.
TEST_F(ProgramsTest, AWindowedProgramIsToldTheSessionEndsAndTerminated) {
    const uint32_t id = Windowed("TAVCOM.EXE");  // id 100, window 257
    procs.AddWindow(id);                         // 258
    fake.files.AddFolder(fake.state.location.folder = "C:\\TAV");
    bool failed = false;
    fake.events.onDoEvents = [&] {
        failed ? void() : (failed = true, throw err::Make(err::kOutOfMemory));
    };
    CloseProcess(tools, Entry(id), 7);
    EXPECT_THAT(procs.calls, ElementsAre("open 4097 100", "post 257 22 -1", "post 258 22 -1",
                                         "terminate 100 7"));
    EXPECT_EQ(procs.OpenHandles(), 0u);
    EXPECT_THAT(fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"),
                HasSubstr("modORSutils.CloseAll \r\nERROR: TAVUpdate, 7,"));
    const uint32_t locked = Windowed("TAVCOM.EXE");  // cannot be opened: left alone
    procs.Get(locked).openable = false, procs.calls.clear(), CloseProcess(tools, Entry(locked), 7);
    EXPECT_THAT(procs.calls, ElementsAre("open 4097 104"));
    // Listed without its start time, as Toolhelp lists: it cannot be told
    // from a later process with the same id, so it is left alone.
    ProcessEntry unknownStart = Entry(Windowed("TAVCOM.EXE"));
    unknownStart.creationTime = 0;
    procs.calls.clear();
    CloseProcess(tools, unknownStart, 7);
    EXPECT_THAT(procs.calls, ElementsAre("open 4097 108")) << "nothing posted or terminated";
    EXPECT_EQ(procs.OpenHandles(), 0u) << "the handle is closed again";
}

TEST_F(ProgramsTest,
       NamesAreExactShortNamesResolveThroughTheFirstReadableInstanceAndMatchInAnyCase) {
    procs.Start("TAV GUARD.EXE");
    fake.files.AddFile("C:\\TAV\\TAV Setup Console.exe");
    const std::string path = "C:\\TAV\\TAV SETUP CONSOLE.EXE";
    procs.Get(procs.Start("TAVSET~1.EXE", path)).openable = false;
    procs.Start("TAVSET~1.EXE", "");
    procs.Start("TAVSET~1.EXE", path + std::string(1, '\0') + "junk");
    procs.Get(procs.Start("TAVDAT~1.EXE")).executablePath =
        "C:\\TAV\\TAVDAT~1.EXE";  // names no file
    for (const char* other : {"tav guard.exe", "TAV GUARD", ""})
        EXPECT_FALSE(CheckForProcessByName(tools, other)) << other;
    EXPECT_TRUE(CheckForProcessByName(tools, "TAV GUARD.EXE"));
    EXPECT_EQ(GetLongProcessName(tools, "TAVSET~1.EXE"),
              "TAV Setup Console.exe");  // as stored on disk
    EXPECT_EQ(GetLongProcessName(tools, "tavset~1.exe") + GetLongProcessName(tools, "TAVDAT~1.EXE"),
              "");
    const std::tuple<const char*, bool, bool> names[] = {
        // related, watched
        {"TAVSET~1.EXE", true, true},       {"TAVDAT~1.EXE", false, false},
        {"tavcom.exe", true, true},         {"Tav Guard.exe", true, false},
        {"TAVORSSERVICE.EXE", true, false}, {"TAVCOM", false, false},
        {"XTAVCOM.EXE", false, false}};
    for (const auto& [name, related, watched] : names)
        EXPECT_EQ(std::make_pair(IsRelatedProcess(tools, name, false),
                                 IsRelatedProcess(tools, name, true)),
                  std::make_pair(related, watched))
            << name;
    procs.calls.clear();
    procs.snapshotFails = true;
    EXPECT_FALSE(CheckForProcessByName(tools, "TAV GUARD.EXE") || AnyTavProcesses(tools) ||
                 CloseAllTavProcesses(tools));
    EXPECT_EQ(GetLongProcessName(tools, "TAVSET~1.EXE"), "");
    EXPECT_EQ(Outcome() + " " + std::to_string(procs.calls.size()),
              "- 0 0 0");  // no snapshot, no service stop
}

TEST_F(ProgramsTest, WithoutWatchedProgramsTheWatchdogIsNotAskedAndTheRestIsLeftAlone) {
    const uint32_t guard = Windowed("TAV GUARD.EXE"), service = procs.Start("TAVORSSERVICE.EXE");
    ShutDownTAV(fake.state.registry, tools);
    EXPECT_EQ(Outcome(), "- 99 0");
    EXPECT_TRUE(fake.events.waits.empty() && procs.Running(guard) && procs.Running(service));
}

// Each close wait polls every 50 ms on a fresh snapshot and gives up after
// two attempts of 15 s; "stop after" ends any wait that would never end.
TEST_F(ProgramsTest, ProgramsOutlastingTheWatchdogAreClosedWithinBoundedWaits) {
    const uint32_t stubborn = procs.Start("TAVIDS.EXE");  // windowless: never terminated
    ShutDownTAV(fake.state.registry, tools, StopAfter(120000));
    EXPECT_EQ(Outcome() + " " + std::to_string(fake.registry.settingChanges),
              "Shutdown 0 1 1");                // not acknowledged while one survives
    EXPECT_GE(Elapsed(), 22000u + 2 * 15000u);  // 22 s of watchdog checks, then two attempts
    EXPECT_LT(Elapsed(), 22000u + 2 * 15000u + 200u);

    procs.End(stubborn);
    const uint32_t first = Windowed("TAVCOM.EXE"), second = Windowed("TAVCOM.EXE");
    fake.events.waits.clear();
    const int snapshots = procs.snapshots;
    start_ = fake.clock.tick;
    EXPECT_FALSE(CloseAllTavProcesses(
        tools,
        StopAfter(120000)));  // the first entry waits twice while the second runs
    EXPECT_FALSE(procs.Running(first) || procs.Running(second));
    EXPECT_THAT(fake.events.waits, testing::Each(50u));
    EXPECT_GE(procs.snapshots - snapshots, 580);  // a fresh snapshot per pass
    EXPECT_GE(Elapsed(), 30000u);
    EXPECT_LT(Elapsed(), 30200u);
}

TEST_F(ProgramsTest, AnOwnerThatClosesStopsEveryStageAtOnce) {
    const uint32_t windowless = procs.Start("TAVORSCOM.EXE"), later = Windowed("TAVCOM.EXE");
    const std::tuple<uint32_t, bool, std::string, std::vector<uint32_t>> cases[] = {
        // stop after, close stage only
        {0, false, "- 0 0", {}},
        {0, true, "- 0 0", {}},
        {4000, false, "Shutdown 0 0", {2000u, 2000u}},  // during the watchdog's wait
        {1000, true, "Shutdown 0 1", std::vector<uint32_t>(20, 50u)}};  // during the close stage
    for (const auto& [ms, closeStageOnly, outcome, waits] : cases) {
        fake.events.waits.clear(), fake.shell.runs.clear();
        start_ = fake.clock.tick;
        if (!closeStageOnly) ShutDownTAV(fake.state.registry, tools, StopAfter(ms));
        EXPECT_FALSE(closeStageOnly && CloseAllTavProcesses(tools, StopAfter(ms)));
        EXPECT_EQ(Outcome(), outcome) << ms;
        EXPECT_EQ(fake.events.waits, waits) << ms;
        EXPECT_TRUE(procs.Running(windowless) && procs.Running(later));
        EXPECT_EQ(procs.snapshots == 0, ms == 0);
    }
    EXPECT_EQ(std::count_if(procs.calls.begin(), procs.calls.end(),
                            [](auto& c) { return c.substr(0, 4) != "open"; }),
              0);
}

SignatureInfo SignedBy(const std::string& name, SignatureState state = SignatureState::Valid,
                       uint32_t status = 0) {
    const std::string key = "key of " + name;
    return {state, status, std::vector<uint8_t>(key.begin(), key.end()), "CN=" + name};
}
TrustPolicy Pinned(std::initializer_list<const char*> signers) {
    TrustPolicy policy;
    for (const char* signer : signers)
        policy.pinnedKeys.push_back(Sha256Hex(SignedBy(signer).signerKeyInfo));
    return policy;
}

TEST(InstallerTrustTest,
     AReleaseStartsOnlyValidSignaturesOfAPinnedKeyADevelopmentBuildAlsoUnsigned) {
    SignatureInfo lookAlike = SignedBy("TAV Systems"), noKey = SignedBy("TAV Systems");
    lookAlike.signerKeyInfo.back() ^= 1;  // same name, another key
    noKey.signerKeyInfo.clear();
    const SignatureInfo broken = SignedBy("TAV Systems", SignatureState::Invalid, 0x80096010);
    const TrustPolicy release = Pinned({"TAV Systems"}),
                      rotating = Pinned({"Old TAV Key", "TAV Systems"}), development;
    const std::tuple<const TrustPolicy&, SignatureInfo, bool, const char*> cases[] = {
        // the rest is seen end to end
        {rotating, SignedBy("TAV Systems"), true, ""},
        {rotating, SignedBy("Old TAV Key"), true, ""},
        {release, lookAlike, false, "another publisher (CN=TAV Systems)"},
        {release, noKey, false, "another publisher"},
        {release, SignedBy("TAV Systems", SignatureState::Invalid, 0x800B0109), false,
         "(0x800B0109)"},
        {development, SignatureInfo{}, true, ""},
        {development, SignedBy("Anyone"), true, ""},
        {development, broken, false, "(0x80096010)"}};
    for (const auto& [policy, installer, accepted, reason] : cases) {
        const InstallerVerdict v = JudgeInstaller(policy, installer);
        EXPECT_EQ(v.accepted, accepted) << installer.signerName << " " << reason;
        EXPECT_THAT(v.reason, HasSubstr(reason));
    }
    // The held file's own signature is judged end to end; refused when it cannot be read.
    struct Unreadable : HeldFile {
        SignatureInfo Signature() override { throw err::Make(err::kFileNotFound); }
    } unreadable;
    EXPECT_THAT(VerifyInstaller(unreadable, development).reason, HasSubstr("could not be checked"));
    const auto hex = [](const std::string& text) {
        return Sha256Hex(std::vector<uint8_t>(text.begin(), text.end())).substr(0, 16);
    };
    EXPECT_EQ(hex("") + hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq") +
                  hex(std::string(1000, 'a')),
              "e3b0c44298fc1c14"
              "248d6a61d20638b8"
              "41edece42d63e8d9");  // 56 bytes: the length spills into a block
}

// A pinned publisher's revoked certificate, or one whose revocation could
// not be learnt, is refused by every build, each with its own reason.
TEST(InstallerTrustTest, RevokedSignersAndUncheckedRevocationAreRefusedWithTheirOwnReasons) {
    const TrustPolicy release = Pinned({"TAV Systems"});
    const TrustPolicy development;
    const std::string revoked = "its signer's certificate is revoked";
    const std::string unchecked = "the revocation of its signer's certificate could not be checked";
    const std::string broken = "its signature is present but not valid";
    const struct {
        uint32_t status;
        const std::string& reason;
        const char* other;  // a reason that must not be given
    } rows[] = {
        {0x800B010C, revoked, "could not be checked"},  // CERT_E_REVOKED
        {0x80092010, revoked, "could not be checked"},  // CRYPT_E_REVOKED
        {0x800B010E, unchecked, "is revoked"},          // CERT_E_REVOCATION_FAILURE
        {0x80092012, unchecked, "is revoked"},          // CRYPT_E_NO_REVOCATION_CHECK
        {0x80092013, unchecked, "is revoked"},          // CRYPT_E_REVOCATION_OFFLINE
        {0x800B0109, broken, "revocation"},             // CERT_E_UNTRUSTEDROOT
    };
    for (const auto& row : rows) {
        const std::string code = StatusText(row.status);
        const SignatureInfo refused = SignedBy("TAV Systems", SignatureState::Invalid, row.status);
        for (const TrustPolicy* policy : {&release, &development}) {
            const InstallerVerdict v = JudgeInstaller(*policy, refused);
            const char* build = policy->development() ? "development" : "release";
            EXPECT_FALSE(v.accepted) << build << " build started an installer with status " << code;
            EXPECT_EQ(v.reason, row.reason + " (" + code + ")") << build << " build, wrong reason";
            EXPECT_THAT(v.reason, Not(HasSubstr(row.other)))
                << code << " mistaken for another case";
        }
    }
}

// A minimal PE image: "MZ", the header offset, "PE\0\0", the optional
// header's size and magic, the number of data directories, the certificate table's size.
std::vector<uint8_t> Image(bool plus, uint32_t tableSize, uint32_t directories = 16,
                           uint32_t pe = 0x80) {
    std::vector<uint8_t> b(0x400, 0);
    const uint16_t optionalSize = plus ? 240 : 224, magic = plus ? 0x20B : 0x10B;
    const size_t dirs = 0x80 + 24 + (plus ? 112 : 96);
    std::memcpy(&b[0], "MZ", 2), std::memcpy(&b[0x3C], &pe, 4), std::memcpy(&b[0x80], "PE\0\0", 4);
    std::memcpy(&b[0x80 + 20], &optionalSize, 2), std::memcpy(&b[0x80 + 24], &magic, 2);
    std::memcpy(&b[dirs - 4], &directories, 4), std::memcpy(&b[dirs + 4 * 8 + 4], &tableSize, 4);
    return b;
}

TEST(InstallerTrustTest, DeclaredCertificateTableOfBothWidthsAndOfWhatIsNoImage) {
    const std::tuple<std::vector<uint8_t>, size_t, uint32_t> cases[] = {
        {Image(false, 0x1234), 0x400, 0x1234},
        {Image(true, 0x1234), 0x400, 0x1234},
        {Image(true, 0), 0x400, 0},
        {Image(true, 0x99, 4), 0x400, 0},  // the table lies past the declared directories
        {Image(false, 0x99, 16, 0xFFFFFFF0), 0x400, 0},  // the header lies beyond the file
        {Image(true, 0x99), 0x80 + 24 + 100, 0}};        // cut inside the directories
    for (const auto& [bytes, size, declared] : cases)
        EXPECT_EQ(DeclaredCertificateTableSize(bytes.data(), size), declared);
}

// A digest named by the caller refuses any other file in its own words, in
// every build; the digest of a held file is of all of it, however it is
// read, and the reading stops when asked to.
TEST(InstallerTrustTest, AnExpectedDigestRefusesEveryOtherFileAndTheHeldDigestCoversTheWholeFile) {
    const Sha256Digest one = Sha256(std::vector<uint8_t>{1}), two = Sha256(std::vector<uint8_t>{2});
    EXPECT_FALSE(JudgeDigest(std::nullopt, one)) << "nothing named: nothing to refuse";
    EXPECT_FALSE(JudgeDigest(one, one)) << "the named file refused";
    const std::optional<InstallerVerdict> refused = JudgeDigest(two, one);
    ASSERT_TRUE(refused) << "another file accepted";
    EXPECT_FALSE(refused->accepted);
    EXPECT_EQ(refused->refusal, "does not match the expected digest");
    EXPECT_EQ(refused->reason,
              "its SHA-256 is " + HexText(one) + ", not the expected " + HexText(two));

    std::string content(3 * 1024 * 1024 + 77, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 / 7);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(content.data()),
                                         content.size());
    fakes::FakeCodeSigning::File held("setup.exe", content);
    EXPECT_EQ(HeldDigest(held), Sha256(bytes)) << "more than one read's worth";
    Sha256Hasher pieces;
    for (size_t at = 0, n = 1; at < bytes.size(); at += n, n = n * 3 % 1000 + 1)
        pieces.Update(bytes.subspan(at, std::min(n, bytes.size() - at)));
    EXPECT_EQ(pieces.Finish(), Sha256(bytes)) << "pieces of every length across the 64-byte blocks";
    int reads = 0;
    try {
        HeldDigest(held, [&] { return ++reads == 2; });
        ADD_FAILURE() << "a stop request was not heard";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::kUserInterrupt);
    }
}

const std::string kTav = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";

class SystemTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(fake.registry.OpenHandles(), 0u); }
    fakes::FakePlatform fake;
};

TEST_F(SystemTest, PathsStartWithAnExactRootNameAndMalformedOnesNeverReuseAnEarlierRoot) {
    EXPECT_EQ(GetMainKeyHandle("HKEY_DYN_DATA"), 0x80000006u);  // the last root: none is cut off
    for (const std::tuple<std::string, RegKey, std::string> c :
         {std::make_tuple("HKEY_CURRENT_USER\\SOFTWARE\\A", 0x80000001u, "SOFTWARE\\A"),
          {"HKEY_LOCAL_MACHINE", 0x80000002u, ""},
          {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", 0u, ""},
          {"hkey_local_machine\\SOFTWARE", 0u, ""},
          {"HKLM\\SOFTWARE", 0u, ""},
          {"HKEY", 0u, ""},
          {"", 0u, ""}}) {
        RegKey parsed = 0x80000003;
        std::string path = std::get<0>(c);
        ParseKey(path, parsed);
        EXPECT_EQ(std::make_pair(parsed, parsed ? path : ""),
                  std::make_pair(std::get<1>(c), std::get<2>(c)))
            << std::get<0>(c);
    }
    fake.registry.PutString(kTav, "V", "x");
    EXPECT_FALSE(fake.state.registry.GetStringValue(kTav + "\\", "V") ||
                 fake.state.registry.CreateKey("HKEY_Local_Machine\\SOFTWARE\\New"));
    EXPECT_TRUE(fake.state.registry.QueryKey("HKEY_LOCAL_MACHINE"));  // the root alone
}

TEST_F(SystemTest, ValuesAreReadThroughA255ByteBufferTrimmedThenCutAtTheTerminator) {
    const std::tuple<std::string, bool, std::optional<std::string>> strings[] = {
        // stored, terminated, read
        {std::string(255, 'c'), false, std::string(255, 'c')},
        {"  text", true, "text"},
        {"text  ", true, "text  "},
        {"text  ", false, "text"},
        {"", true, ""}};  // 254 and 255 terminated ones are read on the Windows tier
    for (const auto& [stored, terminated, read] : strings) {
        fake.registry.PutString(kTav, "S", stored, terminated);
        EXPECT_EQ(fake.state.registry.GetStringValue(kTav, "S"), read) << stored;
    }
    EXPECT_THAT(fake.registry.openAccessRequests, testing::Each(0x20019u));
    fake.registry.PutString(kTav, "D", "abcdefgh");  // 9 bytes do not fit four
    EXPECT_FALSE(fake.state.registry.GetDWORDValue(kTav, "D"));
    fake.registry.PutString(kTav, "D", "ab");
    EXPECT_EQ(fake.state.registry.GetDWORDValue(kTav, "D"), 0x006261);
    fake.registry.PutDword(kTav, "D", 0xFFFFFFFFu);
    EXPECT_EQ(fake.state.registry.GetDWORDValue(kTav, "D"), -1);
    EXPECT_FALSE(fake.state.registry.GetStringValue(kTav, "Missing") ||
                 fake.state.registry.GetDWORDValue(kTav, "Missing") ||
                 fake.state.registry.GetStringValue(kTav + "\\Missing", "S"));
}

TEST_F(SystemTest, SettersWriteOnlyIntoExistingKeysAndCreateKeyMakesEveryLevel) {
    const std::string watchDog = kTav + "\\WatchDog";
    fake.state.registry.SetStringValue(watchDog, "Command", "Shutdown");
    EXPECT_FALSE(fake.state.registry.QueryKey(watchDog));
    EXPECT_TRUE(fake.state.registry.CreateKey(watchDog) && fake.state.registry.QueryKey(kTav) &&
                fake.state.registry.CreateKey(watchDog));
    fake.registry.readOnlyKeys.insert(fakes::NormalizePath(watchDog));
    fake.state.registry.SetDWORDValue(watchDog, "Other",
                                      -5);  // closes the key even when the write fails
    EXPECT_EQ(fake.registry.openAccessRequests.back(), 0x20006u);
}

TEST_F(SystemTest, TheProcessorWidthIsTheLastProcessorsAndPicksTheProgramFolder) {
    fake.environment.processors = std::vector<std::optional<std::string>>{"32", "64", std::nullopt};
    EXPECT_EQ(GetAddressWidth(fake.environment), "64");
    fake.environment.processors.reset();  // no management service: silently ""
    EXPECT_EQ(GetAddressWidth(fake.environment), "");
    const std::string installFolder = "D:\\Home Automation\\Current";
    for (const auto& [width, folder] :
         std::initializer_list<std::pair<const char*, const char*>>{{"32", "Program Files"},
                                                                    {" 32", "Program Files"},
                                                                    {"320", "Program Files (x86)"},
                                                                    {"", "Program Files (x86)"}})
        EXPECT_EQ(AssumedInstallerPath(installFolder, "a.exe", width),
                  std::string("D:\\") + folder + "\\TAV\\a.exe")
            << width;
}

}  // namespace
}  // namespace tav
