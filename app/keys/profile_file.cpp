#include "profile_file.h"

#include "profile_backup.h"
#include "profile_trust.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

namespace kb {
namespace {

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;

enum class PoolTextState { Ok, Outside, Unterminated };

std::u16string textAt(std::span<const std::uint8_t> pool, std::uint32_t parameter, PoolTextState& state) {
    const std::size_t offset = parameter & ~std::uint32_t{1};
    if (offset >= pool.size()) {
        state = PoolTextState::Outside;
        return {};
    }
    const std::size_t room = (pool.size() - offset) / 2;
    const std::uint8_t* start = pool.data() + offset;
    std::size_t n = 0;
    // Four units at a time until a word holds a zero unit.
    constexpr std::uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
    while (n + 4 <= room) {
        std::uint64_t v;
        std::memcpy(&v, start + 2 * n, sizeof v);
        if (((v - kLow) & ~v & kHigh) != 0) break;
        n += 4;
    }
    while (n < room && (start[2 * n] | start[2 * n + 1]) != 0) ++n;
    state = n < room ? PoolTextState::Ok : PoolTextState::Unterminated;
    std::u16string out(n, u'\0');
    loadUnits(out.data(), start, n);
    return out;
}

std::u16string formatWithPath(std::u16string_view format, const std::filesystem::path& path) {
    std::u16string out(format);
    const std::size_t at = out.find(u"%s");
    if (at != std::u16string::npos) out.replace(at, 2, path.u16string());
    return out;
}

}  // namespace

std::u16string poolText(const std::vector<std::uint8_t>& pool, std::uint32_t parameter) {
    PoolTextState state{};
    return textAt(pool, parameter, state);
}

const char* headerProblem(const std::uint8_t* h) noexcept {
    if (h[0] != 'P' || h[1] != 'X') return "bad magic";
    if (readU16(h + FileHeader::kHeaderSize) != kFileHeaderSize) return "bad header size";
    if (readU16(h + FileHeader::kVersion) != FileHeader::kVersionValue) return "bad version";
    if (readU16(h + FileHeader::kRevision) != FileHeader::kRevisionValue) return "bad revision";
    const std::uint32_t fileSize = readU32(h + FileHeader::kFileSize);
    if (fileSize < kProfileRecordSize) return "file size field below 16448";
    if (readU16(h + FileHeader::kSlotCount) != kSlotCount) return "bad slot count";
    const std::uint16_t count = readU16(h + FileHeader::kMacroCount);
    if (count > kMaxMacros) return "more than 100 macros";
    if (h[FileHeader::kDefaultMark] > 1) return "bad default mark";
    const std::uint64_t expected =
        kProfileRecordSize + std::uint64_t{count} * kMacroRecordSize + readU32(h + FileHeader::kPoolSize);
    if (expected != fileSize) return "file size field does not match the macro count and pool size";
    if (h[FileHeader::kChecksum] != headerChecksum(h)) return "checksum mismatch";
    return nullptr;
}

ValidationReport checkProfileFile(const std::filesystem::path& path) {
    ValidationReport r;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        r.missing = true;
        r.reason = "file does not exist";
        return r;
    }
    if (!std::filesystem::is_regular_file(status)) {
        r.result = kValidCannotOpen;
        r.reason = "not a regular file";
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        r.result = kValidCannotOpen;
        r.reason = "cannot be opened";
        return r;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        r.result = kValidCannotOpen;
        r.reason = "cannot be opened";
        return r;
    }
    if (size >= kFourGiB || size < kProfileRecordSize) {
        r.reason = "file length " + std::to_string(size) + " outside 16448 to 4 GiB";
        return r;
    }
    // Only the header decides; reading the rest here would cost memory for nothing.
    std::uint8_t header[kFileHeaderSize];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
        r.result = kValidCannotOpen;
        r.reason = "cannot be read";
        return r;
    }
    if (const char* problem = headerProblem(header)) {
        r.reason = problem;
        return r;
    }
    r.result = kValidUsable;
    return r;
}

int validateProfileFile(const std::filesystem::path& path, Prompt& prompt) {
    const ValidationReport r = checkProfileFile(path);
    if (r.missing) {
        prompt.showMessage(text::kProfileMissing);
    } else if (r.result == kValidReplace && r.reason.rfind("file length", 0) != 0) {
        prompt.showMessage(formatWithPath(text::kProfileDamagedFormat, path));
    }
    return r.result;
}

std::vector<std::uint8_t> layOutTextPool(ProfileRecord& record, const SlotTexts& texts, ProfileRecord* also) {
    const std::uint64_t total = texts.total();
    if (total > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("text pool too large");
    std::vector<std::uint8_t> pool(static_cast<std::size_t>(total), 0);
    std::size_t offset = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::uint32_t size = texts.size(slot);
        if (size == 0 || !carriesText(record.entry(slot).type) || offset + size > pool.size()) continue;
        const std::u16string& t = texts.text(slot);
        storeUnits(pool.data() + offset, t.data(), t.size());
        writeU16(pool.data() + offset + 2 * t.size(), 0);
        record.setParameter(slot, static_cast<std::uint32_t>(offset));
        if (also) also->setParameter(slot, static_cast<std::uint32_t>(offset));
        offset += size;
    }
    return pool;
}

std::vector<std::uint8_t> buildProfileFile(ProfileRecord& record, const SlotTexts& texts,
                                           const MacroTable& macros, std::uint8_t defaultMark,
                                           const ProfileExtension* extension) {
    if (macros.size() > kMaxMacros) throw std::length_error("more than 100 macros");
    std::vector<std::uint8_t> block;
    if (extension != nullptr) {
        block = encodeExtension(*extension);
        writeFallbacks(record, *extension);
    }
    const std::uint64_t described = kProfileRecordSize + macros.size() * kMacroRecordSize + texts.total();
    const std::uint64_t total = described + block.size();
    if (described >= kFourGiB || total >= kFourGiB) throw std::length_error("profile too large");
    std::vector<std::uint8_t> pool = layOutTextPool(record, texts);
    record.fillHeader(static_cast<std::uint16_t>(macros.size()), static_cast<std::uint32_t>(pool.size()),
                      defaultMark);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(total));
    std::uint8_t* p = bytes.data();
    std::memcpy(p, record.data(), kProfileRecordSize);
    p += kProfileRecordSize;
    for (const MacroRecord& m : macros) {
        std::memcpy(p, m.data(), kMacroRecordSize);
        p += kMacroRecordSize;
    }
    if (!pool.empty()) std::memcpy(p, pool.data(), pool.size());
    p += pool.size();
    if (!block.empty()) std::memcpy(p, block.data(), block.size());
    return bytes;
}

bool parseProfileBytes(std::span<const std::uint8_t> bytes, ProfileContent& out) {
    if (bytes.size() < kProfileRecordSize || headerProblem(bytes.data())) return false;
    out.notes.clear();
    std::memcpy(out.record.data(), bytes.data(), kProfileRecordSize);
    const std::size_t count = out.record.macroCount();
    const std::size_t available = (bytes.size() - kProfileRecordSize) / kMacroRecordSize;
    const std::size_t loaded = std::min(count, available);
    if (loaded < count) {
        out.notes.push_back("file ends inside the macro table: " + std::to_string(loaded) + " of " +
                            std::to_string(count) + " macros loaded");
    }
    out.macros.clear();
    out.macros.reserve(loaded);
    for (std::size_t i = 0; i < loaded; ++i) {
        out.macros.emplace_back(bytes.data() + kProfileRecordSize + i * kMacroRecordSize);
        if (out.macros[i].sanitize()) out.notes.push_back("macro " + std::to_string(i) + " mended");
    }
    const std::size_t poolStart = kProfileRecordSize + count * kMacroRecordSize;
    const std::size_t poolSize = out.record.poolSize();
    std::span<const std::uint8_t> pool;
    if (bytes.size() > poolStart) pool = bytes.subspan(poolStart, std::min(poolSize, bytes.size() - poolStart));
    if (pool.size() < poolSize) {
        out.notes.push_back("file ends inside the text pool: " + std::to_string(pool.size()) + " of " +
                            std::to_string(poolSize) + " bytes");
    }
    out.texts.clearAll();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const KeyEntry e = out.record.entry(slot);
        if (!carriesText(e.type)) continue;
        PoolTextState state{};
        out.texts.adopt(slot, textAt(pool, e.parameter, state));
        if (state == PoolTextState::Outside) {
            out.notes.push_back("slot " + std::to_string(slot) + ": text offset outside the pool, empty text");
        } else if (state == PoolTextState::Unterminated) {
            out.notes.push_back("slot " + std::to_string(slot) + ": text without terminator, cut at the pool end");
        }
    }
    out.extension = {};
    out.extensionDropped.clear();
    const std::size_t described = out.record.fileSize();
    if (bytes.size() > described) {
        std::string reason;
        if (decodeExtension(bytes.subspan(described), out.extension, reason) == ExtensionRead::Damaged) {
            out.extensionDropped = reason;
        }
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> readProfileBytes(const std::filesystem::path& path) {
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size < kProfileRecordSize || size >= kFourGiB) return std::nullopt;
    std::uint8_t header[kFileHeaderSize];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || headerProblem(header)) return std::nullopt;
    // Never more than the file holds: what the header describes and the layer block after it.
    const std::uint64_t described = readU32(header + FileHeader::kFileSize);
    const auto wanted = static_cast<std::size_t>(
        size <= described ? size : std::min<std::uint64_t>(size, described + kMaxExtensionBytes));
    std::vector<std::uint8_t> bytes(wanted);
    std::memcpy(bytes.data(), header, sizeof header);
    in.read(reinterpret_cast<char*>(bytes.data() + sizeof header), static_cast<std::streamsize>(wanted - sizeof header));
    bytes.resize(sizeof header + static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool readProfileFile(const std::filesystem::path& path, ProfileContent& out) {
    const auto bytes = readProfileBytes(path);
    return bytes && parseProfileBytes(*bytes, out);
}

int loadProfileFile(ProfileModel& model, const std::filesystem::path& path) {
    std::lock_guard guard(model.lock());
    model.record.reset();
    model.macros.clear();
    model.texts.clearAll();
    model.extension = {};
    try {
        auto content = std::make_unique<ProfileContent>();
        if (!readProfileFile(path, *content)) return 0;
        model.macros = std::move(content->macros);
        model.texts = std::move(content->texts);
        model.extension = std::move(content->extension);
        model.record = content->record;
        return 1;
    } catch (const std::bad_alloc&) {
        model.record.reset();
        model.macros.clear();
        model.texts.clearAll();
        model.extension = {};
        return 0;
    }
}

int writeDefaultProfileFile(const std::filesystem::path& path, std::uint8_t defaultMark) {
    const ProfileRecord record = buildDefaultProfile(defaultMark);
    return writeFileReplacing(path, std::span(record.data(), record.size())) ? 1 : 0;
}

namespace {
std::atomic<ReplaceStepHook> g_replaceStepHook{nullptr};
}  // namespace

void setReplaceStepHook(ReplaceStepHook hook) noexcept { g_replaceStepHook.store(hook); }

bool detail::replaceStepAllowed(ReplaceStep step) {
    const ReplaceStepHook hook = g_replaceStepHook.load();
    return hook == nullptr || hook(step);
}

std::u16string saveFailedMessage(const ProfileList& list) {
    std::u16string text(text::kSaveFailedFormat);
    const int active = list.activeIndex();
    const std::u16string path = active >= 0 ? list.profilePath(active) : std::u16string();
    if (const auto at = text.find(u"%s"); at != std::u16string::npos) text.replace(at, 2, path);
    return text;
}

SaveResult saveProfile(ProfileModel& model, const ProfileList& list) {
    std::lock_guard guard(model.lock());
    return saveProfileLocked(model, list);
}

SaveResult saveProfileLocked(ProfileModel& model, const ProfileList& list) {
    try {
        const int active = list.activeIndex();
        if (active < 0) return SaveResult::NoFile;
        const std::filesystem::path path(list.profilePath(active));
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return SaveResult::NoFile;
        if (!model.record) return SaveResult::Failed;
        const std::vector<std::uint8_t> bytes = buildProfileFile(*model.record, model.texts, model.macros, 0, &model.extension);
        // The version this save replaces; a backup that fails is told once
        // (takeBackupNotice) and never stops the save.
        (void)keepVersion(path);
        if (!writeFileReplacing(path, bytes)) return SaveResult::Failed;
        // A digest that cannot be stored only means one more question later.
        (void)ProfileTrust(list.store()).remember(list.profilePath(active), sha256Hex(bytes));
        return SaveResult::Saved;
    } catch (const std::exception&) {
        return SaveResult::Failed;
    }
}

}  // namespace kb
