#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

namespace {

// Fixed status for an unhandled exception; the runner treats any non-zero exit as failure.
constexpr int kCrashExit = 3;

LONG WINAPI onCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "unhandled exception 0x%08lx\n",
                 info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0UL);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashExit);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(onCrash);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
