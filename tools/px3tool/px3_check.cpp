#include "px3_check.h"

#include "macro_editor.h"
#include "profile_json.h"
#include "profile_trust.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace kb::px3 {
namespace {

namespace fs = std::filesystem;

// The editors' limits: the macro editor's name field, the key dialog's path
// and text block fields.
constexpr std::size_t kNameLimit = kMaxMacroNameChars;
constexpr std::size_t kPathLimit = kMaxProgramPathChars;
constexpr std::size_t kTextBlockLimit = 1'000'000;

std::string utf8(std::u16string_view text) {
    bool wellFormed = true;
    return toUtf8(text, wellFormed);
}

Finding slotFinding(const char* kind, int slot, std::string message) {
    Finding f;
    f.kind = kind;
    f.slot = slot;
    f.key = utf8(slotLabel(slot));
    f.message = std::move(message);
    return f;
}

Finding macroFinding(const char* kind, const MacroRecord& m, std::string message) {
    Finding f;
    f.kind = kind;
    f.macroId = m.macroId();
    f.macro = utf8(m.name());
    f.message = std::move(message);
    return f;
}

// What the layer block holds that would surprise at the keyboard: a block the
// program drops, layer keys that lead nowhere or cannot come back, and the
// layers' own macros and programs checked as the base's are.
std::vector<Finding> lintExtension(const ProfileContent& c, std::span<const std::uint8_t> bytes,
                                   const ProgramExists& exists, const std::map<std::uint16_t, std::size_t>& byId) {
    std::vector<Finding> out;
    ProfileExtension ext;
    std::string reason;
    const ExtensionRead read = decodeExtension(bytes, ext, reason);
    if (read == ExtensionRead::Damaged) {
        Finding f;
        f.kind = "damaged-layers";
        f.message = "the layer block is dropped when the profile loads: " + reason;
        out.push_back(std::move(f));
        return out;
    }
    if (read == ExtensionRead::None) return out;
    std::set<int> reached;
    for (const ExtKey& k : ext.keys) {
        if (fallbackEntry(k) != c.record.entry(k.slot)) {
            out.push_back(slotFinding("fallback-mismatch", k.slot,
                                      "its ordinary entry is not the fallback of its layer function; other programs "
                                      "see something else"));
        }
        const int target = k.kind == ExtKeyKind::Layer ? k.layer : k.holdLayer;
        if (target == 0) continue;
        reached.insert(target);
        const Layer& layer = ext.layers[static_cast<std::size_t>(target - 1)];
        if (k.kind == ExtKeyKind::Layer && k.mode == LayerMode::Toggle && layer.keys.count(k.slot)) {
            out.push_back(slotFinding("layer-trap", k.slot,
                                      "turns layer " + std::to_string(target) + " on, which gives this key its own "
                                      "function: the key cannot turn it off again"));
        }
    }
    for (std::size_t n = 0; n < ext.layers.size(); ++n) {
        const std::string name = "layer " + std::to_string(n + 1);
        if (!reached.count(static_cast<int>(n + 1))) {
            Finding f;
            f.kind = "unreachable-layer";
            f.message = name + ": no key turns it on";
            out.push_back(std::move(f));
        }
        for (const auto& [slot, e] : ext.layers[n].keys) {
            if (e.entry.type == static_cast<std::uint16_t>(FunctionType::PlayMacro) &&
                !byId.count(static_cast<std::uint16_t>(e.entry.parameter & 0xFFFF))) {
                out.push_back(slotFinding("missing-macro", slot,
                                          name + ": plays macro id " + std::to_string(e.entry.parameter & 0xFFFF) +
                                              ", which does not exist"));
            }
            if (e.entry.type == static_cast<std::uint16_t>(FunctionType::LaunchProgram) && !exists(e.text)) {
                out.push_back(slotFinding("missing-program", slot,
                                          e.text.empty() ? name + ": starts no program (empty path)"
                                                         : name + ": starts \"" + utf8(e.text) + "\", which does not exist here"));
            }
        }
    }
    return out;
}

}  // namespace

bool programExistsHere(std::u16string_view path) {
    if (path.empty()) return false;
    std::error_code ec;
    if (path.find_first_of(u"\\/:") != std::u16string_view::npos) return fs::is_regular_file(fs::path(path), ec);
    const char* env = std::getenv("PATH");
    if (env == nullptr) return false;
#ifdef _WIN32
    const char separator = ';';
#else
    const char separator = ':';
#endif
    const std::string all(env);
    const bool hasExtension = path.find(u'.') != std::u16string_view::npos;
    for (std::size_t start = 0; start <= all.size();) {
        const std::size_t end = std::min(all.find(separator, start), all.size());
        const fs::path folder(all.substr(start, end - start));
        start = end + 1;
        if (folder.empty()) continue;
        if (fs::is_regular_file(folder / fs::path(path), ec)) return true;
        if (!hasExtension) {
            fs::path withExe = folder / fs::path(path);
            withExe += ".exe";
            if (fs::is_regular_file(withExe, ec)) return true;
        }
    }
    return false;
}

std::vector<Finding> lintProfile(const ProfileContent& c, std::span<const std::uint8_t> extension,
                                 const ProgramExists& exists) {
    std::vector<Finding> out;
    std::map<std::uint16_t, std::size_t> byId;  // first macro with each id
    for (std::size_t i = 0; i < c.macros.size(); ++i) byId.emplace(c.macros[i].macroId(), i);
    std::set<std::uint16_t> played;
    bool stopKey = false;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const KeyEntry e = c.record.entry(slot);
        switch (static_cast<FunctionType>(e.type)) {
        case FunctionType::PlayMacro: {
            const auto id = static_cast<std::uint16_t>(e.parameter & 0xFFFF);
            played.insert(id);
            if (!byId.count(id)) {
                out.push_back(slotFinding("missing-macro", slot,
                                          "plays macro id " + std::to_string(id) + ", which does not exist"));
            }
            break;
        }
        case FunctionType::StopMacro: stopKey = true; break;
        case FunctionType::LaunchProgram: {
            const std::u16string& path = c.texts.text(slot);
            if (path.size() > kPathLimit) {
                out.push_back(slotFinding("too-long", slot,
                                          "program path of " + std::to_string(path.size()) + " characters, the editor takes " +
                                              std::to_string(kPathLimit)));
            }
            if (!exists(path)) {
                out.push_back(slotFinding("missing-program", slot,
                                          path.empty() ? std::string("starts no program (empty path)")
                                                       : "starts \"" + utf8(path) + "\", which does not exist here"));
            }
            break;
        }
        case FunctionType::TypeText:
            if (c.texts.text(slot).size() > kTextBlockLimit) {
                out.push_back(slotFinding("too-long", slot,
                                          "text block of " + std::to_string(c.texts.text(slot).size()) +
                                              " characters, the editor takes " + std::to_string(kTextBlockLimit)));
            }
            break;
        default: break;
        }
    }
    // A layer's keys play and stop macros too.
    for (const Layer& layer : c.extension.layers) {
        for (const auto& [slot, e] : layer.keys) {
            if (e.entry.type == static_cast<std::uint16_t>(FunctionType::PlayMacro)) {
                played.insert(static_cast<std::uint16_t>(e.entry.parameter & 0xFFFF));
            }
            stopKey = stopKey || e.entry.type == static_cast<std::uint16_t>(FunctionType::StopMacro);
        }
    }
    for (std::size_t i = 0; i < c.macros.size(); ++i) {
        const MacroRecord& m = c.macros[i];
        const std::u16string name = m.name();
        if (byId.at(m.macroId()) != i) {
            out.push_back(macroFinding("duplicate-id", m, "has the id of an earlier macro; keys never play it"));
        } else if (!played.count(m.macroId())) {
            out.push_back(macroFinding("unplayed-macro", m, "no key plays it"));
        }
        if (sameMacroName(name, text::kReservedName)) {
            out.push_back(macroFinding("reserved-name", m, "has the reserved name \"空宏\""));
        }
        for (std::size_t k = 0; k < i; ++k) {
            if (sameMacroName(name, c.macros[k].name())) {
                out.push_back(macroFinding("duplicate-name", m, "has the name of macro id " +
                                                                       std::to_string(c.macros[k].macroId())));
                break;
            }
        }
        if (name.size() > kNameLimit) {
            out.push_back(macroFinding("too-long", m,
                                       "name of " + std::to_string(name.size()) + " characters, the editor takes " +
                                           std::to_string(kNameLimit)));
        }
        // Until its key is pressed again: one press too few, or a bank switch
        // between the two presses of a macro key, and only a stop key ends it.
        if (m.playMode() == 2 && played.count(m.macroId()) && !stopKey) {
            out.push_back(macroFinding("unstoppable-repeat", m,
                                       "repeats until its key is pressed again, and no key stops macros"));
        }
    }
    for (Finding& f : lintExtension(c, extension, exists, byId)) out.push_back(std::move(f));
    return out;
}

CheckReport checkProfile(const fs::path& file, const ProgramExists& exists) {
    CheckReport report;
    const ValidationReport valid = checkProfileFile(file);
    if (valid.result != kValidUsable) {
        report.reason = valid.reason + " (result " + std::to_string(valid.result) + ")";
        return report;
    }
    const auto bytes = readProfileBytes(file);
    ProfileContent content;
    if (!bytes || !parseProfileBytes(*bytes, content)) {
        report.reason = "cannot be read";
        return report;
    }
    report.usable = true;
    // What the load mends is a finding too: the file is not what it says.
    for (const std::string& note : content.notes) {
        Finding f;
        f.kind = "mended";
        f.message = note;
        report.findings.push_back(std::move(f));
    }
    // Whatever lies after the described end: the extension block.
    std::vector<std::uint8_t> extension;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    const std::uint32_t described = content.record.fileSize();
    if (!ec && size > described) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(described));
        extension.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size - described, kMaxExtensionBytes)));
        in.read(reinterpret_cast<char*>(extension.data()), static_cast<std::streamsize>(extension.size()));
        extension.resize(static_cast<std::size_t>(in.gcount()));
    }
    for (Finding& f : lintProfile(content, extension, exists)) report.findings.push_back(std::move(f));
    return report;
}

std::string findingLine(const Finding& f) {
    if (f.slot >= 0) return "slot " + std::to_string(f.slot) + " (" + f.key + "): " + f.message;
    if (f.macroId >= 0) return "macro id " + std::to_string(f.macroId) + " \"" + f.macro + "\": " + f.message;
    return f.message;
}

nlohmann::ordered_json findingJson(const Finding& f) {
    nlohmann::ordered_json j;
    j["kind"] = f.kind;
    if (f.slot >= 0) {
        j["slot"] = f.slot;
        j["key"] = f.key;
    }
    if (f.macroId >= 0) {
        j["macroId"] = f.macroId;
        j["macro"] = f.macro;
    }
    j["message"] = f.message;
    return j;
}

}  // namespace kb::px3
