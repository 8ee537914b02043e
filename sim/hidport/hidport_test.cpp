// Loads Hidport.dll by name and drives it with reports queued by kbsim
// (hidport_test.sh installs the driver first).
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "contracts/hidport_abi.h"
#include "run_kbsim.h"

namespace {

struct Api {
    decltype(&HidportInit) init = nullptr;
    decltype(&HidportEnd) end = nullptr;
    decltype(&HidportDebug) debug = nullptr;
    decltype(&HidportRequestGetDeviceCount) deviceCount = nullptr;
    decltype(&HidportRequestWrite) write = nullptr;
    decltype(&HidportRequestStatusGet) statusGet = nullptr;
    decltype(&HidportRequestStatusWrite) statusWrite = nullptr;
    decltype(&HidportRequestAsyncRead) asyncRead = nullptr;
    decltype(&HidportDeleteRequestFromUnitId) deleteById = nullptr;
    decltype(&HidportDeleteRequestFromHandle) deleteByHandler = nullptr;
};

template <class F>
bool bind(HMODULE dll, const char* name, F& fn) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return fn != nullptr;
}

const HidportDescriptor kMacroKeys = {{0x0F, 0x04D9, 0x2819, 0x000C, 0x0001, 0}, 0x434F4E53, nullptr};
const HidportDescriptor kBankStatus = {{0x0F, 0x04D9, 0x2819, 0x0008, 0x0089, 0}, 0x004C4544, nullptr};

struct Seen {
    uint32_t status, tag;
    uint16_t code;
    DWORD thread;
};

// Completions as the program reads them: by byte offsets from the record's start.
std::mutex g_lock;
std::condition_variable g_cv;
std::vector<Seen> g_seen;
std::atomic<int> g_handlerSleepMs{0};
std::atomic<bool> g_inHandler{false};

int KB_HIDPORT_CALL onCompletion(HidportCompletion* c) {
    g_inHandler = true;
    const auto* raw = reinterpret_cast<const uint8_t*>(c);
    Seen s{};
    std::memcpy(&s.status, raw, 4);
    const uint8_t* request = *reinterpret_cast<const uint8_t* const*>(raw + 8);
    std::memcpy(&s.tag, request, 4);
    const uint8_t* block = *reinterpret_cast<const uint8_t* const*>(request + 16);
    const uint8_t* data = *reinterpret_cast<const uint8_t* const*>(block + (sizeof(void*) == 8 ? 32 : 28));
    std::memcpy(&s.code, data, 2);
    s.thread = GetCurrentThreadId();
    if (int ms = g_handlerSleepMs.load()) Sleep(static_cast<DWORD>(ms));
    {
        std::lock_guard g(g_lock);
        g_seen.push_back(s);
    }
    g_cv.notify_all();
    g_inHandler = false;
    return 1;
}

int KB_HIDPORT_CALL otherHandler(HidportCompletion* c) { return onCompletion(c); }

std::vector<Seen> waitFor(size_t n, int ms = 3000) {
    std::unique_lock g(g_lock);
    g_cv.wait_for(g, std::chrono::milliseconds(ms), [&] { return g_seen.size() >= n; });
    return g_seen;
}

DWORD kbsim(const std::wstring& args, std::string* out = nullptr) {
    return kb::sim::testing::runKbsim(args, out);
}

int threadCount() {
    const kbwin::UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snap) return -1;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL more = Thread32First(snap.get(), &te); more; more = Thread32Next(snap.get(), &te))
        if (te.th32OwnerProcessID == GetCurrentProcessId()) ++n;
    return n;
}

class Hidport : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dll = LoadLibraryW(L"Hidport.dll");
        ASSERT_NE(dll, nullptr);
    }
    void SetUp() override {
        ASSERT_NE(dll, nullptr);
        ASSERT_TRUE(bind(dll, kHidportInitName, api.init) && bind(dll, kHidportEndName, api.end) &&
                    bind(dll, kHidportDebugName, api.debug) &&
                    bind(dll, kHidportRequestGetDeviceCountName, api.deviceCount) &&
                    bind(dll, kHidportRequestWriteName, api.write) &&
                    bind(dll, kHidportRequestStatusGetName, api.statusGet) &&
                    bind(dll, kHidportRequestStatusWriteName, api.statusWrite) &&
                    bind(dll, kHidportRequestAsyncReadName, api.asyncRead) &&
                    bind(dll, kHidportDeleteRequestFromUnitIdName, api.deleteById) &&
                    bind(dll, kHidportDeleteRequestFromHandleName, api.deleteByHandler));
        ASSERT_EQ(kbsim(L"reset"), 0u);
        g_seen.clear();
        g_handlerSleepMs = 0;
        ASSERT_GT(api.init(0), 0);
    }
    void TearDown() override {
        if (api.end) {
            EXPECT_EQ(api.end(0), 1);
        }
    }
    static HMODULE dll;
    Api api;
};
HMODULE Hidport::dll = nullptr;

TEST_F(Hidport, MacroKeyReportsReachTheHandlerOnTheLibrarysThread) {
    int32_t id = 0;
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 1);
    EXPECT_GT(id, 0);
    ASSERT_EQ(kbsim(L"macrokey 1"), 0u);
    ASSERT_EQ(kbsim(L"macrokey bank"), 0u);
    ASSERT_EQ(kbsim(L"macrokey 5"), 0u);
    ASSERT_EQ(kbsim(L"macrokey up"), 0u);
    auto seen = waitFor(4);
    ASSERT_EQ(seen.size(), 4u);
    const uint16_t want[] = {0x1302, 0x1301, 0x1306, 0};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(seen[i].status, 1u);
        EXPECT_EQ(seen[i].tag, 0x434F4E53u);
        EXPECT_EQ(seen[i].code, want[i]) << i;
        EXPECT_NE(seen[i].thread, GetCurrentThreadId());
    }
    // Reports of a device that is not there are refused, not queued.
    EXPECT_EQ(api.asyncRead(&kBankStatus, onCompletion, 1, &id), 0);
}

TEST_F(Hidport, StatusWriteReachesTheKeyboardAndCompletes) {
    const uint8_t bytes[2] = {5, 3};
    int32_t id = 0;
    ASSERT_EQ(api.statusWrite(&kBankStatus, onCompletion, 0x004C4544, bytes, 2, &id), 1);
    auto seen = waitFor(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].tag, 0x004C4544u);
    EXPECT_EQ(seen[0].code, 0x0305);
    std::string out;
    ASSERT_EQ(kbsim(L"bank", &out), 0u);
    EXPECT_EQ(out, "05 03\r\n") << out;
    uint8_t back[2] = {};
    EXPECT_EQ(api.statusGet(&kBankStatus, back, 2), 1);
    EXPECT_EQ(back[0], 5);
    EXPECT_EQ(back[1], 3);
    // Wrong sizes and the read collection are refused; the keyboard keeps its status.
    const uint8_t three[3] = {5, 0, 0};
    EXPECT_EQ(api.statusWrite(&kBankStatus, onCompletion, 1, three, 3, &id), 0);
    EXPECT_EQ(api.statusWrite(&kMacroKeys, onCompletion, 1, bytes, 2, &id), 0);
    ASSERT_EQ(kbsim(L"bank", &out), 0u);
    EXPECT_EQ(out, "05 03\r\n");
    // The completion comes once only: a second one would come before the
    // completion of a read asked for after it.
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 1);
    ASSERT_EQ(kbsim(L"macrokey 1"), 0u);
    const auto both = waitFor(2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].tag, 0x434F4E53u);
}

TEST_F(Hidport, CancelledRequestsGetNothingAndNothingIsLost) {
    int32_t first = 0, second = 0;
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &first), 1);
    ASSERT_EQ(api.asyncRead(&kMacroKeys, otherHandler, 7, &second), 1);
    ASSERT_NE(first, second);
    ASSERT_EQ(kbsim(L"macrokey 2"), 0u);
    ASSERT_EQ(waitFor(2).size(), 2u);
    EXPECT_EQ(api.deleteById(first), 1);
    EXPECT_EQ(api.deleteById(first), 0);
    ASSERT_EQ(kbsim(L"macrokey 3"), 0u);
    auto seen = waitFor(3);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].tag, 7u);
    EXPECT_EQ(api.deleteByHandler(otherHandler), 1);
    ASSERT_EQ(kbsim(L"macrokey 4"), 0u);
    EXPECT_EQ(waitFor(4, 500).size(), 3u);
    // The report that arrived while nobody read waits for the next read request.
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &first), 1);
    seen = waitFor(4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].code, 0x1305);
}

TEST_F(Hidport, DeleteWaitsForARunningHandler) {
    int32_t id = 0;
    g_handlerSleepMs = 400;
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 1);
    ASSERT_EQ(kbsim(L"macrokey 1"), 0u);
    for (int i = 0; i < 300 && !g_inHandler; ++i) Sleep(10);
    ASSERT_TRUE(g_inHandler.load());
    EXPECT_EQ(api.deleteByHandler(onCompletion), 1);
    // When the delete returns, the handler has finished and recorded its report.
    EXPECT_FALSE(g_inHandler.load());
    std::lock_guard g(g_lock);
    EXPECT_EQ(g_seen.size(), 1u);
}

TEST_F(Hidport, EndStopsTheLibrarysThreadsAndDelivery) {
    ASSERT_EQ(api.end(0), 1);
    int before = threadCount();
    ASSERT_GT(api.init(0), 0);
    int32_t id = 0;
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 1);
    EXPECT_GT(threadCount(), before);
    ASSERT_EQ(api.end(0), 1);
    EXPECT_EQ(threadCount(), before);
    ASSERT_EQ(kbsim(L"macrokey 1"), 0u);
    // Requests need an initialised library.
    EXPECT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 0);
    ASSERT_GT(api.init(0), 0);
    // Nothing took the report pressed after End: the first read of the new
    // start gets it.
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x4E455754, &id), 1);
    const auto seen = waitFor(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].tag, 0x4E455754u);
    EXPECT_EQ(seen[0].code, 0x1302);
}

TEST_F(Hidport, HoldsNoReferenceOfItsOwnSoCallersMustEndIt) {
    // Like the real library it does not pin itself: once ended, the caller's
    // FreeLibrary unloads it. (Freed before End it ends the process, code 86:
    // the heart's end-to-end test covers that no start-up path does so.)
    int32_t id = 0;
    ASSERT_EQ(api.asyncRead(&kMacroKeys, onCompletion, 0x434F4E53, &id), 1);
    ASSERT_EQ(api.end(0), 1);
    ASSERT_TRUE(kbwin::UniqueModule(std::exchange(dll, nullptr)).close());
    EXPECT_EQ(GetModuleHandleW(L"Hidport.dll"), nullptr);
    dll = LoadLibraryW(L"Hidport.dll");
    ASSERT_NE(dll, nullptr);
    api.end = nullptr;  // the old pointers belong to the unloaded copy
}

TEST_F(Hidport, UnpluggedKeyboardRefusesStatusWrites) {
    ASSERT_EQ(kbsim(L"unplug keyboard"), 0u);
    const uint8_t bytes[2] = {5, 2};
    int32_t id = 0;
    EXPECT_EQ(api.statusWrite(&kBankStatus, onCompletion, 0x004C4544, bytes, 2, &id), 0);
    ASSERT_EQ(kbsim(L"plug keyboard"), 0u);
    EXPECT_EQ(api.statusWrite(&kBankStatus, onCompletion, 0x004C4544, bytes, 2, &id), 1);
    EXPECT_EQ(api.deviceCount(&kMacroKeys), 1);
    EXPECT_EQ(api.write(&kMacroKeys, onCompletion, 1, bytes, 2, &id), 0);
}

}  // namespace
