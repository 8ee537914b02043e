// The library's actions that start programs: in their folder, from the
// caller's folder, the office codes and a program that cannot start.
#include "multact_test_support.h"


namespace {

using namespace multact_test;

// --- starting a program --------------------------------------------------

std::wstring folderOfThisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.rfind(L'\\'));
}

std::wstring wide(const std::string& s) { return kbtext::wideFromUtf8(s); }

bool sameFolder(std::wstring a, std::wstring b) {
    for (auto* s : {&a, &b}) {
        while (s->size() > 3 && s->back() == L'\\') {
            s->pop_back();
        }
    }
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// What the probe program reports about itself.
struct ProbeReport {
    DWORD processId = 0;
    HWND window = nullptr;
    std::wstring folder;
    std::wstring program;
    std::vector<std::wstring> arguments;
};

bool readReport(const std::wstring& path, ProbeReport& out) {
    const kbwin::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    char buf[4096];
    DWORD got = 0;
    const BOOL ok = ReadFile(file.get(), buf, sizeof buf, &got, nullptr);
    if (!ok) {
        return false;
    }
    std::istringstream in(std::string(buf, got));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    if (lines.size() < 4) {
        return false;
    }
    out.processId = static_cast<DWORD>(std::stoul(lines[0]));
    out.window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(lines[1])));
    out.folder = wide(lines[2]);
    out.program = wide(lines[3]);
    out.arguments.clear();
    for (std::size_t i = 4; i < lines.size(); ++i) {
        out.arguments.push_back(wide(lines[i]));
    }
    return true;
}

// A started probe: its report, a handle on its process, and the event that ends it.
class StartedProbe {
public:
    explicit StartedProbe(const std::wstring& tag)
        : report_(scratch() + L"\\report-" + tag + L".txt"),
          eventName_(L"KbMultactProbeDone-" + tag + L"-" + std::to_wstring(GetCurrentProcessId())),
          done_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str())),
          raised_(CreateEventW(nullptr, TRUE, FALSE, (eventName_ + L"-raised").c_str())) {
        DeleteFileW(report_.c_str());
    }
    StartedProbe(const StartedProbe&) = delete;
    StartedProbe& operator=(const StartedProbe&) = delete;
    ~StartedProbe() {
        SetEvent(done_.get());
        if (process_) {
            WaitForSingleObject(process_.get(), 10000);
        }
        DeleteFileW(report_.c_str());
    }
    // Temporary folder with a space in its name, holding a copy of the probe.
    static const std::wstring& scratch() {
        static const std::wstring folder = [] {
            wchar_t temp[MAX_PATH] = {};
            GetTempPathW(MAX_PATH, temp);
            std::wstring f = std::wstring(temp) + L"multact probe " + std::to_wstring(GetCurrentProcessId());
            CreateDirectoryW(f.c_str(), nullptr);
            CopyFileW((folderOfThisProgram() + L"\\multact_probe.exe").c_str(), (f + L"\\multact_probe.exe").c_str(),
                      FALSE);
            return f;
        }();
        return folder;
    }
    // For a start without parameters: the probe reads these instead.
    void exportToEnvironment() const {
        SetEnvironmentVariableW(L"KB_PROBE_REPORT", report_.c_str());
        SetEnvironmentVariableW(L"KB_PROBE_EVENT", eventName_.c_str());
    }
    [[nodiscard]] std::wstring parameters() const { return L"\"" + report_ + L"\" " + eventName_ + L" \"two words\""; }
    // Waits for the report; then holds the probe's process.
    bool waitForReport(ProbeReport& out) {
        if (!eventually([&] { return readReport(report_, out); })) {
            return false;
        }
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, out.processId));
        return process_.valid();
    }
    // The probe saw its window made topmost.
    [[nodiscard]] bool raised(DWORD waitMs) const { return WaitForSingleObject(raised_.get(), waitMs) == WAIT_OBJECT_0; }
    [[nodiscard]] bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    [[nodiscard]] const std::wstring& reportPath() const { return report_; }
    [[nodiscard]] const std::wstring& eventName() const { return eventName_; }

private:
    std::wstring report_;
    std::wstring eventName_;
    kbwin::UniqueHandle done_;
    kbwin::UniqueHandle raised_;
    kbwin::UniqueHandle process_;
};

TEST_F(MultactTest, StartsAProgramInItsFolderAndReturnsAtOnce) {
    StartedProbe probe(L"folder");
    const std::wstring program = StartedProbe::scratch() + L"\\multact_probe.exe";
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, program.c_str(), probe.parameters().c_str()), 1);

    ProbeReport report;
    ASSERT_TRUE(probe.waitForReport(report)) << "the program did not start";
    // The probe runs until told to end, so the call cannot have waited for it.
    EXPECT_TRUE(probe.running());
    EXPECT_TRUE(sameFolder(report.folder, StartedProbe::scratch()))
        << "started in " << std::string(report.folder.begin(), report.folder.end());
    EXPECT_EQ(report.arguments, (std::vector<std::wstring>{probe.reportPath(), probe.eventName(), L"two words"}));

    // Brought to the front by making it topmost for a moment, and not left topmost.
    EXPECT_TRUE(probe.raised(10000)) << "the started program's window was not brought to the front";
    EXPECT_TRUE(eventually([&] { return (GetWindowLongPtrW(report.window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0; }));
}

// Puts a folder first on PATH for the life of the object.
class PathFront {
public:
    explicit PathFront(const std::wstring& folder) {
        old_.resize(32767);
        old_.resize(GetEnvironmentVariableW(L"PATH", old_.data(), 32767));
        SetEnvironmentVariableW(L"PATH", (folder + L";" + old_).c_str());
    }
    PathFront(const PathFront&) = delete;
    PathFront& operator=(const PathFront&) = delete;
    ~PathFront() { SetEnvironmentVariableW(L"PATH", old_.c_str()); }

private:
    std::wstring old_;
};

TEST_F(MultactTest, APathWithoutFolderStartsInTheCallersFolder) {
    // The program is found through PATH; the caller sits in another folder.
    wchar_t oldFolder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, oldFolder);
    const std::wstring here = StartedProbe::scratch() + L"\\elsewhere";
    CreateDirectoryW(here.c_str(), nullptr);
    StartedProbe probe(L"plain");
    int started = 0;
    {
        PathFront path(folderOfThisProgram());
        SetCurrentDirectoryW(here.c_str());
        started = lib.multact2(kb::multact::kStartProgram, L"multact_probe.exe", probe.parameters().c_str());
        SetCurrentDirectoryW(oldFolder);
    }
    EXPECT_EQ(started, 1);
    ProbeReport report;
    ASSERT_TRUE(probe.waitForReport(report)) << "the program did not start";
    EXPECT_TRUE(sameFolder(report.folder, here));
}

// The thread that raises a started program's window keeps the library
// loaded while it runs, and lets it go when it ends.
TEST_F(MultactTest, TheLibraryOutlivesItsCallerWhileRaisingAWindow) {
    StartedProbe probe(L"unload");
    const std::wstring program = StartedProbe::scratch() + L"\\multact_probe.exe";
    ASSERT_EQ(lib.multact2(kb::multact::kStartProgram, program.c_str(), probe.parameters().c_str()), 1);
    ASSERT_TRUE(lib.owner.close());
    lib.module = nullptr;
    // Still mapped: the raise thread holds it (were it unmapped, that thread would crash this test).
    EXPECT_NE(GetModuleHandleW(L"Multact.dll"), nullptr);
    EXPECT_TRUE(probe.raised(10000));
    EXPECT_TRUE(eventually([] { return GetModuleHandleW(L"Multact.dll") == nullptr; }))
        << "the library stayed loaded after its thread ended";
}

bool endsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() &&
           CompareStringOrdinal(s.c_str() + (s.size() - tail.size()), -1, tail.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The office codes start programs by name; copies of the probe stand in for
// them in a folder put first on PATH.
TEST_F(MultactTest, OfficeCodesStartTheirProgramsAndTheWordProcessorFallsBack) {
    const std::wstring probeFile = folderOfThisProgram() + L"\\multact_probe.exe";
    const std::wstring office = StartedProbe::scratch() + L"\\office";
    CreateDirectoryW(office.c_str(), nullptr);
    auto provide = [&](const wchar_t* name) { CopyFileW(probeFile.c_str(), (office + L"\\" + name).c_str(), FALSE); };
    auto withdraw = [&](const wchar_t* name) { DeleteFileW((office + L"\\" + name).c_str()); };
    PathFront path(office);

    struct Case {
        int code;
        const wchar_t* provided;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {kb::multact::kStartSpreadsheet, L"EXCEL.EXE", L"\\EXCEL.EXE"},
        {kb::multact::kStartPresentation, L"POWERPNT.EXE", L"\\POWERPNT.EXE"},
        {kb::multact::kStartWordProcessor, L"WordPad.exe", L"\\WordPad.exe"},
        {kb::multact::kStartWordProcessor, L"WinWord.exe", L"\\WinWord.exe"},  // WordPad.exe is still there
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.provided);
        provide(c.provided);
        StartedProbe probe(L"office" + std::to_wstring(n++));
        probe.exportToEnvironment();
        EXPECT_EQ(lib.multact(c.code), 1);
        ProbeReport report;
        ASSERT_TRUE(probe.waitForReport(report)) << "nothing started";
        EXPECT_TRUE(endsWith(report.program, c.expected));
        EXPECT_TRUE(report.arguments.empty());
    }
    for (const wchar_t* name : {L"EXCEL.EXE", L"POWERPNT.EXE", L"WordPad.exe", L"WinWord.exe"}) {
        withdraw(name);
    }
}

TEST_F(MultactTest, AProgramThatCannotStartFailsWithoutWaiting) {
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, L"C:\\no such folder\\nothing.exe", nullptr), 0);
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, L"", nullptr), 0);
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, nullptr, nullptr), 0);
}


}  // namespace
