// Speed of the largest legal profile (100 macros of 576 steps, texts in many
// slots) beside a plain read or copy of the same number of bytes.
#include "key_tables.h"
#include "profile_file.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace kb {
namespace {

struct NullDevice final : ControlDevice {
    bool ensureOpen() override { return true; }
    bool selectDevice(const DeviceSelector&) override { return true; }
    bool installTable(std::span<const std::uint8_t> t) override {
        benchmark::DoNotOptimize(t.data());
        return true;
    }
    bool removeTable() override { return true; }
};

struct Largest {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "kb_profile_bench";
    std::filesystem::path file = folder / "largest.px3";
    MemorySettingsStore store;
    ProfileList list{store};
    std::vector<std::uint8_t> bytes;

    Largest() {
        std::filesystem::create_directories(folder);
        ProfileRecord record = buildDefaultProfile(0);
        SlotTexts texts;
        int n = 0;
        for (WinMakeCode key : keyboardKeys()) {
            const int slot = slotOf(kDeviceKeyboard, key);
            const bool program = n++ % 2 == 0;
            record.setEntry(slot, {static_cast<std::uint16_t>(program ? 3 : 6), 0, 0});
            texts.set(slot, std::u16string(program ? kMaxProgramPathChars : 2000, program ? u'p' : u'文'));
        }
        for (WinMakeCode key : keypadKeys()) {
            const int slot = slotOf(kDeviceKeypad, key);
            record.setEntry(slot, {4, 0, 1});
        }
        MacroTable macros(kMaxMacros);
        for (std::size_t i = 0; i < macros.size(); ++i) {
            macros[i].setMacroId(static_cast<std::uint16_t>(i + 1));
            macros[i].setName(u"宏-123456789");
            for (std::size_t k = 0; k < kMaxMacroActions; ++k) {
                (void)macros[i].appendAction({15, 0x1E, static_cast<std::uint16_t>(k % 2)});
            }
        }
        bytes = buildProfileFile(record, texts, macros, 0);
        (void)writeFileReplacing(file, bytes);
        list.setProfileCount(1);
        list.setProfilePath(0, file.u16string());
        list.setActiveIndex(0);
    }
    ~Largest() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Largest& largest() {
    static Largest l;
    return l;
}

void BM_ReadFloor(benchmark::State& state) {
    Largest& l = largest();
    std::vector<std::uint8_t> buffer(l.bytes.size());
    for (auto _ : state) {
        std::ifstream in(l.file, std::ios::binary);
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

void BM_ValidateAndLoad(benchmark::State& state) {
    Largest& l = largest();
    ProfileModel model;
    for (auto _ : state) {
        if (checkProfileFile(l.file).result != kValidUsable || loadProfileFile(model, l.file) != 1) {
            state.SkipWithError("load failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

// The plain write has the same safety as the save: beside, flushed, renamed.
void BM_WriteFloor(benchmark::State& state) {
    Largest& l = largest();
    const auto target = l.folder / "floor.px3";
    const auto temp = l.folder / "floor.tmp";
    for (auto _ : state) {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        benchmark::DoNotOptimize(::write(fd, l.bytes.data(), l.bytes.size()));
        ::fsync(fd);
        ::close(fd);
        ::rename(temp.c_str(), target.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

void BM_Save(benchmark::State& state) {
    Largest& l = largest();
    ProfileModel model;
    if (loadProfileFile(model, l.file) != 1) state.SkipWithError("load failed");
    for (auto _ : state) {
        if (saveProfile(model, l.list) != SaveResult::Saved) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

void BM_CopyFloor(benchmark::State& state) {
    Largest& l = largest();
    std::vector<std::uint8_t> copy(l.bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), l.bytes.data(), l.bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

// Fresh buffers each time, as the apply allocates its active copy anew.
void BM_CopyFloorFreshBuffer(benchmark::State& state) {
    Largest& l = largest();
    for (auto _ : state) {
        std::vector<std::uint8_t> copy(l.bytes.begin(), l.bytes.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

void BM_Apply(benchmark::State& state) {
    Largest& l = largest();
    ProfileModel model;
    Engine engine;
    NullDevice device;
    if (loadProfileFile(model, l.file) != 1) state.SkipWithError("load failed");
    for (auto _ : state) {
        if (applyProfile(model, engine, device) != 1) {
            state.SkipWithError("apply failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * l.bytes.size()));
}

BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ValidateAndLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFloorFreshBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Apply)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kb
