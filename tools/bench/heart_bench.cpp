// heart_bench: how fast the running heart (kbhost) answers the simulated keyboard,
// and what it costs while idle. Talks to the stand-in driver directly.
//   heart_bench profile OUT.json         the profile the measurements need (px3tool JSON)
//   heart_bench floor [--presses N]      with no program running: a probe waiting on the key's
//                                        named event injects one record when it is signalled
//   heart_bench latency [--presses N]    macro, text and HID macro key latency, the long macro,
//                                        the stop key (the program must be running)
//   heart_bench idle [--seconds S] [--program NAME.exe]
//                                        CPU time and private bytes of the running program
//   heart_bench growth --program NAME.exe --presses N
//                                        private bytes before and after N presses
//   heart_bench stacks --program NAME.exe
//                                        how deep each of its threads has used its stack
//   heart_bench layers-profile OUT.json  the profile the layers measurement needs
//   heart_bench layers [--presses N]     layer key to new table, tap/hold key's hold against
//                                        its term, a key remapped on a layer and on the base
// Exit status: 0 measured, 1 a measurement went wrong (missed or extra records), 2 usage or setup.
#include "heart_bench_rig.h"

#include <cstdio>
#include <cwchar>
#include <string>

using namespace heart_bench;

namespace {

int writeProfile(const wchar_t* path, const std::string& json) {
    UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) setupFail(lastError("cannot create the profile file"));
    DWORD written = 0;
    if (!WriteFile(file.get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) ||
        written != json.size())
        setupFail(lastError("cannot write the profile file"));
    return 0;
}

int number(const wchar_t* text, int low, int high) {
    wchar_t* end = nullptr;
    const long v = std::wcstol(text, &end, 10);
    if (end == text || *end != 0 || v < low || v > high) setupFail("not a number in range");
    return static_cast<int>(v);
}

int usage() {
    std::fputs("usage: heart_bench profile OUT.json | floor [--presses N] | latency [--presses N] | "
               "idle [--seconds S] [--program NAME.exe] | growth --program NAME.exe --presses N | "
               "stacks --program NAME.exe | layers-profile OUT.json | layers [--presses N]\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        g_ticksPerMs = static_cast<double>(f.QuadPart) / 1000.0;
        if (argc < 2) return usage();
        const std::wstring command = argv[1];
        if (command == L"profile" && argc == 3) return writeProfile(argv[2], kb::bench::benchProfileJson());
        if (command == L"layers-profile" && argc == 3) return writeProfile(argv[2], layersProfileJson());
        if (command == L"layers" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--presses")))
            return layers(argc == 4 ? number(argv[3], 1, 100000) : 200);
        if (command == L"latency" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--presses")))
            return latency(argc == 4 ? number(argv[3], 1, 100000) : 200);
        if (command == L"floor" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--presses")))
            return floorProbe(argc == 4 ? number(argv[3], 1, 100000) : 200);
        if ((command == L"growth" || command == L"stacks") && argc >= 4 && std::wstring(argv[2]) == L"--program") {
            if (command == L"stacks" && argc == 4) return stacks(argv[3]);
            if (command == L"growth" && argc == 6 && std::wstring(argv[4]) == L"--presses")
                return growth(number(argv[5], 1, 1000000), argv[3]);
            return usage();
        }
        if (command == L"idle") {
            int seconds = 60;
            std::wstring program = L"kbhost.exe";
            for (int i = 2; i < argc; i += 2) {
                const std::wstring option = argv[i];
                if (i + 1 >= argc) return usage();
                if (option == L"--seconds") {
                    seconds = number(argv[i + 1], 1, 3600);
                } else if (option == L"--program") {
                    program = argv[i + 1];
                } else {
                    return usage();
                }
            }
            return idle(seconds, program);
        }
        return usage();
    } catch (const SetupError& e) {
        std::fprintf(stderr, "heart_bench: %s\n", e.message.c_str());
        return 2;
    } catch (...) {
        std::fputs("heart_bench: unexpected failure\n", stderr);
        return 2;
    }
}