#include "profile_trust.h"

#include <cstdio>
#include <memory>

#include "key_catalogue.h"
#include "profile_record.h"

namespace kb {
namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(std::array<std::uint32_t, 8>& h, const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t t1 = k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                           kRound[i] + w[i];
        std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += k;
}

// Paths are compared as Windows compares them: without regard to ASCII case.
std::u16string normalisedPath(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

std::u16string ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

}  // namespace

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    std::array<std::uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::size_t full = bytes.size() / 64 * 64;
    for (std::size_t i = 0; i < full; i += 64) compress(h, bytes.data() + i);
    std::uint8_t tail[128] = {};
    std::size_t rest = bytes.size() - full;
    for (std::size_t i = 0; i < rest; ++i) tail[i] = bytes[full + i];
    tail[rest] = 0x80;
    std::size_t tailLen = rest < 56 ? 64 : 128;
    std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) tail[tailLen - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    for (std::size_t i = 0; i < tailLen; i += 64) compress(h, tail + i);
    std::string out;
    char buf[9];
    for (std::uint32_t v : h) {
        std::snprintf(buf, sizeof buf, "%08x", v);
        out += buf;
    }
    return out;
}

std::u16string slotLabel(int slot) {
    if (isMacroKeySlot(slot)) {
        int i = slot - kFirstMacroKeySlot;
        std::u16string label(1, i < 5 ? u'A' : u'B');
        label.push_back(static_cast<char16_t>(u'1' + i % 5));
        return label;
    }
    char16_t name[64];
    int k = keyboardKeyOfSlot(slot);
    if (k >= 0) {
        std::size_t n = keyName(keyboardKeys()[static_cast<std::size_t>(k)], name, 64);
        return std::u16string(name, n);
    }
    k = keypadKeyOfSlot(slot);
    if (k >= 0) {
        std::u16string label;
        if (k < kKeypadFunctionKeyCount) {
            label = u"D";
            label.push_back(static_cast<char16_t>(u'1' + k));
            return label;
        }
        std::size_t n = keyName(keypadKeys()[static_cast<std::size_t>(k)], name, 64);
        label = u"小键盘 ";
        label.append(name, n);
        return label;
    }
    std::u16string label = u"#";
    label.append(ascii(std::to_string(slot).c_str()));
    return label;
}

std::vector<ProgramAssignment> programsOf(const ProfileContent& content) {
    std::vector<ProgramAssignment> out;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (content.record.entry(slot).type != static_cast<std::uint16_t>(FunctionType::LaunchProgram))
            continue;
        if (!content.texts.has(slot) || content.texts.text(slot).empty()) continue;
        out.push_back({slot, slotLabel(slot), content.texts.text(slot)});
    }
    // A layer's keys start programs as surely as the base's.
    for (std::size_t n = 0; n < content.extension.layers.size(); ++n) {
        for (const auto& [slot, e] : content.extension.layers[n].keys) {
            if (e.entry.type != static_cast<std::uint16_t>(FunctionType::LaunchProgram) || e.text.empty()) continue;
            std::u16string label = slotLabel(slot) + u" (层 ";
            label.push_back(static_cast<char16_t>(u'1' + n));
            out.push_back({slot, label + u")", e.text});
        }
    }
    return out;
}

std::u16string describePrograms(const std::vector<ProgramAssignment>& programs, std::size_t maxLines) {
    std::u16string text;
    std::size_t shown = 0;
    for (const ProgramAssignment& p : programs) {
        if (shown == maxLines) {
            text += u"…\r\n";
            break;
        }
        text.append(p.key).append(u": ").append(p.path).append(u"\r\n");
        ++shown;
    }
    return text;
}

std::optional<std::string> ProfileTrust::digestOf(std::u16string_view path) const {
    auto value = store_.read(kTrustSection, normalisedPath(path));
    if (!value) return std::nullopt;
    std::string digest;
    for (char16_t c : *value) {
        if (c > 0x7F) return std::nullopt;
        digest += static_cast<char>(c);
    }
    return digest;
}

bool ProfileTrust::remember(std::u16string_view path, std::string_view digest) {
    return store_.write(kTrustSection, normalisedPath(path), std::u16string(digest.begin(), digest.end()));
}

bool ProfileTrust::needsConsent(std::u16string_view path, const ProfileContent& content,
                                std::span<const std::uint8_t> bytes) const {
    if (programsOf(content).empty()) return false;
    auto known = digestOf(path);
    return !known || *known != sha256Hex(bytes);
}

std::u16string loadQuestion(const std::vector<ProgramAssignment>& programs) {
    std::u16string q(text::kLoadProgramsIntro);
    q += describePrograms(programs);
    q += text::kLoadProgramsAsk;
    return q;
}

std::u16string activationNotice(std::u16string_view path, const std::vector<ProgramAssignment>& programs,
                                bool changed) {
    std::u16string q(changed ? text::kActivateChanged : text::kActivateUnconfirmed);
    q += path;
    q += text::kActivateProgramsIntro;
    q += describePrograms(programs);
    q += text::kActivateAsk;
    return q;
}

Consent confirmActivation(ProfileTrust& trust, Prompt& prompt, std::u16string_view path,
                          const ProfileContent& content, std::span<const std::uint8_t> bytes) {
    const std::vector<ProgramAssignment> programs = programsOf(content);
    if (programs.empty()) return Consent::NotNeeded;
    const std::string digest = sha256Hex(bytes);
    const auto known = trust.digestOf(path);
    if (known && *known == digest) return Consent::NotNeeded;
    if (!prompt.askYesNo(activationNotice(path, programs, known.has_value()), true)) return Consent::Refused;
    (void)trust.remember(path, digest);
    return Consent::Accepted;
}

Consent confirmLoad(ProfileTrust& trust, Prompt& prompt, const std::filesystem::path& chosen,
                    std::u16string_view storedPath) {
    const auto bytes = readProfileBytes(chosen);
    if (!bytes) return Consent::NotNeeded;
    return confirmLoadBytes(trust, prompt, *bytes, storedPath);
}

Consent confirmLoadBytes(ProfileTrust& trust, Prompt& prompt, std::span<const std::uint8_t> bytes,
                         std::u16string_view storedPath) {
    auto content = std::make_unique<ProfileContent>();
    if (!parseProfileBytes(bytes, *content)) return Consent::NotNeeded;
    const std::vector<ProgramAssignment> programs = programsOf(*content);
    if (programs.empty()) return Consent::NotNeeded;
    if (!prompt.askYesNo(loadQuestion(programs), true)) return Consent::Refused;
    (void)trust.remember(storedPath, sha256Hex(bytes));
    return Consent::Accepted;
}

}  // namespace kb
