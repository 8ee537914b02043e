#include "profile_json.h"

#include "common/text/text_convert.h"

#include <algorithm>
#include <limits>

namespace kb::px3 {

using nlohmann::json;
using nlohmann::ordered_json;

std::string toUtf8(std::u16string_view text, bool& wellFormed) { return kbtext::toUtf8(text, wellFormed); }

std::u16string fromUtf8(std::string_view text) { return kbtext::fromUtf8(text); }

std::string hexBytes(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(digits[p[i] >> 4]);
        out.push_back(digits[p[i] & 15]);
    }
    return out;
}

namespace {

void putText(ordered_json& node, const char* key, const char* unitsKey, std::u16string_view text) {
    bool wellFormed = true;
    std::string utf8 = toUtf8(text, wellFormed);
    if (wellFormed) {
        node[key] = std::move(utf8);
    } else {
        node[unitsKey] = ordered_json::array();
        for (char16_t u : text) node[unitsKey].push_back(static_cast<unsigned>(u));
    }
}

// Reading with a path in every message.
std::uint64_t number(const json& node, const std::string& where, std::uint64_t low, std::uint64_t high) {
    if (!node.is_number_integer() && !node.is_number_unsigned()) throw InputError(where + ": expected an integer");
    if (node.is_number_integer() && node.get<std::int64_t>() < 0) {
        throw InputError(where + ": " + std::to_string(node.get<std::int64_t>()) + " is out of range " +
                         std::to_string(low) + ".." + std::to_string(high));
    }
    const auto v = node.get<std::uint64_t>();
    if (v < low || v > high) {
        throw InputError(where + ": " + std::to_string(v) + " is out of range " + std::to_string(low) + ".." +
                         std::to_string(high));
    }
    return v;
}

const json& member(const json& node, const char* key, const std::string& where) {
    if (!node.is_object()) throw InputError(where + ": expected an object");
    const auto it = node.find(key);
    if (it == node.end()) throw InputError(where + "." + key + ": missing");
    return *it;
}

const json& arrayAt(const json& node, const std::string& where) {
    if (!node.is_array()) throw InputError(where + ": expected an array");
    return node;
}

std::u16string textFrom(const json& node, const char* key, const char* unitsKey, const std::string& where,
                        std::size_t maxUnits) {
    std::u16string text;
    if (node.contains(key)) {
        const json& t = node[key];
        if (!t.is_string()) throw InputError(where + "." + key + ": expected a string");
        text = fromUtf8(t.get_ref<const std::string&>());
    } else if (node.contains(unitsKey)) {
        const json& units = arrayAt(node[unitsKey], where + "." + unitsKey);
        for (std::size_t i = 0; i < units.size(); ++i) {
            text.push_back(static_cast<char16_t>(
                number(units[i], where + "." + unitsKey + "[" + std::to_string(i) + "]", 0, 0xFFFF)));
        }
    } else {
        throw InputError(where + "." + key + ": missing");
    }
    if (text.find(u'\0') != std::u16string::npos) throw InputError(where + "." + key + ": contains a zero character");
    if (text.size() > maxUnits) {
        throw InputError(where + "." + key + ": too long (" + std::to_string(text.size()) + " UTF-16 units, at most " +
                         std::to_string(maxUnits) + ")");
    }
    return text;
}

ordered_json extensionToJson(const ProfileExtension& ext) {
    ordered_json out;
    out["layers"] = ordered_json::array();
    for (const Layer& layer : ext.layers) {
        ordered_json slots = ordered_json::array();
        for (const auto& [slot, e] : layer.keys) {
            ordered_json s = {{"slot", slot}, {"type", e.entry.type}, {"macroKeyCode", e.entry.macroKeyCode},
                              {"parameter", e.entry.parameter}};
            if (carriesText(e.entry.type)) putText(s, "text", "textUnits", e.text);
            slots.push_back(std::move(s));
        }
        out["layers"].push_back({{"slots", std::move(slots)}});
    }
    out["keys"] = ordered_json::array();
    for (const ExtKey& k : ext.keys) {
        if (k.kind == ExtKeyKind::Layer) {
            out["keys"].push_back({{"slot", k.slot}, {"kind", "layer"}, {"layer", k.layer},
                                   {"mode", k.mode == LayerMode::Toggle ? "toggle" : "momentary"}});
        } else {
            out["keys"].push_back({{"slot", k.slot}, {"kind", "tapHold"}, {"tap", k.tap}, {"hold", k.hold},
                                   {"holdLayer", k.holdLayer}, {"termMs", k.termMs}});
        }
    }
    return out;
}

std::string stringAt(const json& node, const std::string& where) {
    if (!node.is_string()) throw InputError(where + ": expected a string");
    return node.get<std::string>();
}

// The texts' limits of the key function dialog's fields.
std::size_t textLimit(std::uint16_t type) {
    return type == static_cast<std::uint16_t>(FunctionType::LaunchProgram) ? kMaxProgramPathChars
                                                                            : (std::numeric_limits<std::uint32_t>::max() / 2 - 1);
}

ProfileExtension extensionFromJson(const json& node) {
    ProfileExtension ext;
    if (!node.is_object()) throw InputError("extension: expected an object");
    if (node.contains("layers")) {
        const json& layers = arrayAt(node["layers"], "extension.layers");
        if (layers.size() > kMaxLayers) throw InputError("extension.layers: " + std::to_string(layers.size()) + " layers, at most 3");
        for (std::size_t n = 0; n < layers.size(); ++n) {
            const std::string lw = "extension.layers[" + std::to_string(n) + "]";
            const json& slots = arrayAt(member(layers[n], "slots", lw), lw + ".slots");
            Layer layer;
            for (std::size_t i = 0; i < slots.size(); ++i) {
                const std::string where = lw + ".slots[" + std::to_string(i) + "]";
                const json& s = slots[i];
                const int slot = static_cast<int>(number(member(s, "slot", where), where + ".slot", 0, kSlotCount - 1));
                if (!layerableSlot(slot)) throw InputError(where + ".slot: slot " + std::to_string(slot) + " is not a keyboard or keypad key");
                LayerEntry e;
                e.entry.type = static_cast<std::uint16_t>(number(member(s, "type", where), where + ".type", 0, kMaxFunctionType));
                if (s.contains("macroKeyCode")) (void)number(s["macroKeyCode"], where + ".macroKeyCode", 0, 0);
                e.entry.parameter = s.contains("parameter") ? static_cast<std::uint32_t>(number(s["parameter"], where + ".parameter", 0, 0xFFFFFFFFu)) : 0;
                if (carriesText(e.entry.type)) {
                    e.text = textFrom(s, "text", "textUnits", where, textLimit(e.entry.type));
                    e.entry.parameter = 0;  // the pool offset, laid out again
                } else if (s.contains("text") || s.contains("textUnits")) {
                    throw InputError(where + ".text: only types 3 and 6 carry a text");
                }
                if (!layer.keys.emplace(slot, std::move(e)).second) {
                    throw InputError(where + ".slot: slot " + std::to_string(slot) + " listed twice");
                }
            }
            ext.layers.push_back(std::move(layer));
        }
    }
    if (node.contains("keys")) {
        const json& keys = arrayAt(node["keys"], "extension.keys");
        const auto layerCount = static_cast<std::uint64_t>(ext.layers.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string where = "extension.keys[" + std::to_string(i) + "]";
            const json& j = keys[i];
            ExtKey k;
            k.slot = static_cast<int>(number(member(j, "slot", where), where + ".slot", 0, kSlotCount - 1));
            if (!layerableSlot(k.slot)) throw InputError(where + ".slot: slot " + std::to_string(k.slot) + " is not a keyboard or keypad key");
            const std::string kind = stringAt(member(j, "kind", where), where + ".kind");
            auto key = [&](const char* name) {
                const auto code = static_cast<WinMakeCode>(number(member(j, name, where), where + "." + name, 0, 0xFFFF));
                if (code == 0 || listCodeOfKey(code) == kEmptyListCode) {
                    throw InputError(where + "." + name + ": " + std::to_string(code) + " is not a key of the key list");
                }
                return code;
            };
            if (kind == "layer") {
                k.kind = ExtKeyKind::Layer;
                if (layerCount == 0) throw InputError(where + ".layer: the profile has no layers");
                k.layer = static_cast<std::uint8_t>(number(member(j, "layer", where), where + ".layer", 1, layerCount));
                const std::string mode = stringAt(member(j, "mode", where), where + ".mode");
                if (mode == "momentary") k.mode = LayerMode::Momentary;
                else if (mode == "toggle") k.mode = LayerMode::Toggle;
                else throw InputError(where + ".mode: expected \"momentary\" or \"toggle\"");
            } else if (kind == "tapHold") {
                k.kind = ExtKeyKind::TapHold;
                k.tap = key("tap");
                k.holdLayer = j.contains("holdLayer") ? static_cast<std::uint8_t>(number(j["holdLayer"], where + ".holdLayer", 0, layerCount)) : 0;
                if (k.holdLayer == 0) {
                    k.hold = key("hold");
                } else if (j.contains("hold")) {
                    k.hold = static_cast<WinMakeCode>(number(j["hold"], where + ".hold", 0, 0xFFFF));
                }
                k.termMs = j.contains("termMs") ? static_cast<std::uint16_t>(number(j["termMs"], where + ".termMs", kMinTermMs, kMaxTermMs)) : kDefaultTermMs;
            } else {
                throw InputError(where + ".kind: expected \"layer\" or \"tapHold\"");
            }
            ext.keys.push_back(k);
        }
        std::sort(ext.keys.begin(), ext.keys.end(), [](const ExtKey& a, const ExtKey& b) { return a.slot < b.slot; });
        for (std::size_t i = 1; i < ext.keys.size(); ++i) {
            if (ext.keys[i].slot == ext.keys[i - 1].slot) {
                throw InputError("extension.keys: slot " + std::to_string(ext.keys[i].slot) + " listed twice");
            }
        }
    }
    if (const std::string problem = extensionProblem(ext); !problem.empty()) throw InputError("extension: " + problem);
    return ext;
}

}  // namespace

ordered_json profileToJson(const ProfileContent& c) {
    const std::uint8_t* h = c.record.data();
    ordered_json out;
    out["header"] = {
        {"magic", std::string{static_cast<char>(h[0]), static_cast<char>(h[1])}},
        {"headerSize", readU16(h + FileHeader::kHeaderSize)},
        {"version", readU16(h + FileHeader::kVersion)},
        {"revision", readU16(h + FileHeader::kRevision)},
        {"fileSize", readU32(h + FileHeader::kFileSize)},
        {"slotCount", readU16(h + FileHeader::kSlotCount)},
        {"macroCount", readU16(h + FileHeader::kMacroCount)},
        {"poolSize", readU32(h + FileHeader::kPoolSize)},
        {"defaultMark", h[FileHeader::kDefaultMark]},
        {"checksum", h[FileHeader::kChecksum]},
    };
    out["deviceHeader"] = hexBytes(h + kFileHeaderSize, kDeviceHeaderSize);
    out["slots"] = ordered_json::array();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const KeyEntry e = c.record.entry(slot);
        if (e == KeyEntry{}) continue;
        ordered_json s = {{"slot", slot}, {"type", e.type}, {"macroKeyCode", e.macroKeyCode}, {"parameter", e.parameter}};
        if (carriesText(e.type)) putText(s, "text", "textUnits", c.texts.text(slot));
        out["slots"].push_back(std::move(s));
    }
    out["macros"] = ordered_json::array();
    for (const MacroRecord& m : c.macros) {
        ordered_json j;
        bool tailClean = true;
        const std::u16string name = m.name();
        for (std::size_t i = name.size(); i < kMacroNameUnits; ++i) tailClean = tailClean && m.nameUnit(i) == 0;
        bool wellFormed = true;
        std::string utf8 = toUtf8(name, wellFormed);
        if (tailClean && wellFormed) {
            j["name"] = std::move(utf8);
        } else {
            j["nameUnits"] = ordered_json::array();
            for (std::size_t i = 0; i < kMacroNameUnits; ++i) j["nameUnits"].push_back(static_cast<unsigned>(m.nameUnit(i)));
        }
        j["isNew"] = m.isNew();
        j["playMode"] = m.playMode();
        j["macroId"] = m.macroId();
        j["actions"] = ordered_json::array();
        for (std::size_t i = 0; i < m.usedActions(); ++i) {
            const MacroAction a = m.action(i);
            j["actions"].push_back({a.delayMs, a.makeCode, a.direction});
        }
        // Steps beyond the count mean nothing but are kept so the bytes come back.
        for (std::size_t i = m.usedActions(); i < kMaxMacroActions; ++i) {
            const MacroAction a = m.action(i);
            if (a == MacroAction{}) continue;
            if (!j.contains("unusedActions")) j["unusedActions"] = ordered_json::array();
            j["unusedActions"].push_back({i, a.delayMs, a.makeCode, a.direction});
        }
        out["macros"].push_back(std::move(j));
    }
    if (!c.extension.empty()) out["extension"] = extensionToJson(c.extension);
    return out;
}

ProfileContent profileFromJson(const json& root, std::uint8_t& defaultMark) {
    if (!root.is_object()) throw InputError("top level: expected an object");
    ProfileContent c;
    defaultMark = 0;
    if (root.contains("header")) {
        const json& h = root["header"];
        if (!h.is_object()) throw InputError("header: expected an object");
        if (h.contains("defaultMark")) defaultMark = static_cast<std::uint8_t>(number(h["defaultMark"], "header.defaultMark", 0, 1));
    }
    if (root.contains("deviceHeader")) {
        const json& d = root["deviceHeader"];
        if (!d.is_string() || d.get_ref<const std::string&>().size() != 2 * kDeviceHeaderSize) {
            throw InputError("deviceHeader: expected 64 hexadecimal digits");
        }
        const std::string& s = d.get_ref<const std::string&>();
        for (std::size_t i = 0; i < kDeviceHeaderSize; ++i) {
            int v = 0;
            for (int k = 0; k < 2; ++k) {
                const char ch = s[2 * i + static_cast<std::size_t>(k)];
                const int digit = (ch >= '0' && ch <= '9') ? ch - '0'
                                  : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10
                                  : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10
                                                             : -1;
                if (digit < 0) throw InputError("deviceHeader: expected 64 hexadecimal digits");
                v = v * 16 + digit;
            }
            c.record.data()[kFileHeaderSize + i] = static_cast<std::uint8_t>(v);
        }
    } else {
        writeDeviceHeader(c.record);
    }
    std::vector<bool> seen(kSlotCount, false);
    const json& slots = arrayAt(member(root, "slots", "top level"), "slots");
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::string where = "slots[" + std::to_string(i) + "]";
        const json& s = slots[i];
        const int slot = static_cast<int>(number(member(s, "slot", where), where + ".slot", 0, kSlotCount - 1));
        if (seen[static_cast<std::size_t>(slot)]) throw InputError(where + ".slot: slot " + std::to_string(slot) + " listed twice");
        seen[static_cast<std::size_t>(slot)] = true;
        KeyEntry e;
        e.type = static_cast<std::uint16_t>(number(member(s, "type", where), where + ".type", 0, kMaxFunctionType));
        e.macroKeyCode = s.contains("macroKeyCode") ? static_cast<std::uint16_t>(number(s["macroKeyCode"], where + ".macroKeyCode", 0, 0xFFFF)) : 0;
        e.parameter = s.contains("parameter") ? static_cast<std::uint32_t>(number(s["parameter"], where + ".parameter", 0, 0xFFFFFFFFu)) : 0;
        c.record.setEntry(slot, e);
        if (carriesText(e.type)) {
            const std::size_t limit = e.type == static_cast<std::uint16_t>(FunctionType::LaunchProgram)
                                          ? kMaxProgramPathChars
                                          : (std::numeric_limits<std::uint32_t>::max() / 2 - 1);
            c.texts.set(slot, textFrom(s, "text", "textUnits", where, limit));
        } else if (s.contains("text") || s.contains("textUnits")) {
            throw InputError(where + ".text: only types 3 and 6 carry a text");
        }
    }
    const json& macros = arrayAt(member(root, "macros", "top level"), "macros");
    if (macros.size() > kMaxMacros) throw InputError("macros: " + std::to_string(macros.size()) + " macros, at most 100");
    for (std::size_t i = 0; i < macros.size(); ++i) {
        const std::string where = "macros[" + std::to_string(i) + "]";
        const json& j = macros[i];
        MacroRecord m;
        if (j.is_object() && j.contains("nameUnits")) {
            const json& units = arrayAt(j["nameUnits"], where + ".nameUnits");
            if (units.size() != kMacroNameUnits) throw InputError(where + ".nameUnits: expected 252 units");
            for (std::size_t k = 0; k < kMacroNameUnits; ++k) {
                m.setNameUnit(k, static_cast<char16_t>(number(units[k], where + ".nameUnits[" + std::to_string(k) + "]", 0, 0xFFFF)));
            }
            if (m.sanitize()) throw InputError(where + ".nameUnits: no terminator");
        } else {
            m.setName(textFrom(j, "name", "nameUnits", where, kMacroNameUnits - 1));
        }
        if (j.contains("isNew")) m.setIsNew(static_cast<std::uint16_t>(number(j["isNew"], where + ".isNew", 0, 0xFFFF)));
        if (j.contains("playMode")) m.setPlayMode(static_cast<std::uint16_t>(number(j["playMode"], where + ".playMode", 0, 0xFFFF)));
        m.setMacroId(static_cast<std::uint16_t>(number(member(j, "macroId", where), where + ".macroId", 1, kMaxMacroId)));
        const json& actions = arrayAt(member(j, "actions", where), where + ".actions");
        if (actions.size() > kMaxMacroActions) throw InputError(where + ".actions: " + std::to_string(actions.size()) + " steps, at most 576");
        auto step = [&](const json& a, const std::string& at, std::size_t first) {
            if (!a.is_array() || a.size() != first + 3) throw InputError(at + ": expected [" + (first ? "index, " : "") + "delayMs, makeCode, direction]");
            return MacroAction{static_cast<std::uint32_t>(number(a[first], at + "[" + std::to_string(first) + "]", 0, 0xFFFFFFFFu)),
                               static_cast<std::uint16_t>(number(a[first + 1], at + "[" + std::to_string(first + 1) + "]", 0, 0xFFFF)),
                               static_cast<std::uint16_t>(number(a[first + 2], at + "[" + std::to_string(first + 2) + "]", 0, 0xFFFF))};
        };
        for (std::size_t k = 0; k < actions.size(); ++k) m.setAction(k, step(actions[k], where + ".actions[" + std::to_string(k) + "]", 0));
        m.setActionCount(static_cast<std::uint16_t>(actions.size()));
        if (j.contains("unusedActions")) {
            const json& unused = arrayAt(j["unusedActions"], where + ".unusedActions");
            for (std::size_t k = 0; k < unused.size(); ++k) {
                const std::string at = where + ".unusedActions[" + std::to_string(k) + "]";
                if (!unused[k].is_array() || unused[k].empty()) throw InputError(at + ": expected [index, delayMs, makeCode, direction]");
                const std::size_t index = number(unused[k][0], at + "[0]", actions.size(), kMaxMacroActions - 1);
                m.setAction(index, step(unused[k], at, 1));
            }
        }
        c.macros.push_back(m);
    }
    if (root.contains("extension")) {
        c.extension = extensionFromJson(root["extension"]);
        // The base entries of such keys are their fallbacks, without texts.
        for (const ExtKey& k : c.extension.keys) c.texts.clear(k.slot);
        writeFallbacks(c.record, c.extension);
    }
    return c;
}

std::vector<std::uint8_t> buildFromJson(const json& root) {
    std::uint8_t mark = 0;
    ProfileContent c = profileFromJson(root, mark);
    try {
        return buildProfileFile(c.record, c.texts, c.macros, mark, &c.extension);
    } catch (const std::length_error& e) {
        throw InputError(std::string("profile: ") + e.what());
    }
}


std::string InputError::field() const {
    const std::string message = what();
    const std::size_t at = message.find(": ");
    return at == std::string::npos ? std::string() : message.substr(0, at);
}

namespace {

// Walks a JSON text and names the field whose value starts at each place,
// tolerant of text that does not parse: it stops where the text stops
// making sense. Deep nesting is skipped rather than followed.
class FieldWalker {
public:
    explicit FieldWalker(std::string_view text) : t_(text) {}

    // The start of the field's value, if it is there.
    std::optional<std::size_t> find(std::string_view field) {
        want_ = field;
        seeking_ = true;
        stopAt_ = std::string::npos;
        found_.reset();
        value("", 0);
        return found_;
    }
    // The innermost field being read at `offset`.
    std::string fieldAt(std::size_t offset) {
        seeking_ = false;
        stopAt_ = offset;
        current_.clear();
        frozen_ = false;
        value("", 0);
        return current_;
    }

private:
    static constexpr int kMaxDepth = 64;

    bool done() const { return found_.has_value() || i_ >= t_.size() || i_ >= stopAt_; }
    void space() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r')) ++i_;
    }
    std::string string() {
        std::string out;
        if (i_ >= t_.size() || t_[i_] != '"') return out;
        for (++i_; i_ < t_.size() && t_[i_] != '"'; ++i_) {
            if (t_[i_] == '\\') ++i_;
            else out.push_back(t_[i_]);
        }
        ++i_;
        return out;
    }
    void value(const std::string& path, int depth) {
        space();
        if (done()) return;
        if (!frozen_) current_ = path;
        if (seeking_ && path == want_) {
            found_ = i_;
            return;
        }
        const char c = t_[i_];
        if ((c == '{' || c == '[') && depth >= kMaxDepth) {
            skipNested();
        } else if (c == '{') {
            ++i_;
            for (;;) {
                space();
                if (done() || t_[i_] == '}') break;
                const std::string key = string();
                space();
                if (done() || t_[i_] != ':') return;
                ++i_;
                value(path.empty() ? key : path + "." + key, depth + 1);
                space();
                if (done() || t_[i_] != ',') break;
                ++i_;
            }
            settle(path);
            if (!done()) ++i_;
        } else if (c == '[') {
            ++i_;
            for (std::size_t k = 0;; ++k) {
                space();
                if (done() || t_[i_] == ']') break;
                value(path + "[" + std::to_string(k) + "]", depth + 1);
                space();
                if (done() || t_[i_] != ',') break;
                ++i_;
            }
            settle(path);
            if (!done()) ++i_;
        } else if (c == '"') {
            (void)string();
            settle(path);
        } else {
            while (i_ < t_.size() && std::string_view(",]} \t\r\n").find(t_[i_]) == std::string_view::npos) ++i_;
            settle(path);
        }
    }
    // After a value: the field named stays the innermost one that holds the stop.
    void settle(const std::string& path) {
        if (frozen_) return;
        current_ = path;
        frozen_ = i_ >= stopAt_;
    }
    void skipNested() {
        int level = 0;
        bool inString = false;
        for (; i_ < t_.size() && !done(); ++i_) {
            const char c = t_[i_];
            if (inString) {
                if (c == '\\') ++i_;
                else if (c == '"') inString = false;
            } else if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++level;
            } else if ((c == '}' || c == ']') && --level == 0) {
                ++i_;
                return;
            }
        }
    }

    std::string_view t_;
    std::size_t i_ = 0;
    std::string_view want_;
    bool seeking_ = false;
    std::size_t stopAt_ = std::string::npos;
    std::optional<std::size_t> found_;
    std::string current_;
    bool frozen_ = false;
};

std::size_t lineAt(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

}  // namespace

std::size_t lineOfField(std::string_view text, std::string_view field) {
    std::string f(field);
    if (f.rfind("top level", 0) == 0) f.erase(0, f.size() > 9 ? 10 : 9);
    for (;;) {
        if (f.empty()) break;
        FieldWalker walker(text);
        if (const auto at = walker.find(f)) return lineAt(text, *at);
        // A missing field: the line of the one that should hold it.
        const std::size_t cut = f.find_last_of(".[");
        if (cut == std::string::npos) break;
        f.erase(cut);
    }
    FieldWalker walker(text);
    return lineAt(text, walker.find("").value_or(0));
}

std::optional<std::vector<std::uint8_t>> profileBytesFromJsonText(std::string_view text, JsonProblem& problem) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        // The parser counts bytes from 1 and reports the one after the fault.
        const std::size_t at = e.byte > 0 ? e.byte - 1 : 0;
        problem.line = lineAt(text, at);
        problem.field = FieldWalker(text).fieldAt(at);
        const std::string what = e.what();
        const std::size_t colon = what.find(": ");
        problem.detail = colon == std::string::npos ? what : what.substr(colon + 2);
        return std::nullopt;
    }
    try {
        return buildFromJson(root);
    } catch (const InputError& e) {
        problem.field = e.field();
        const std::string what = e.what();
        problem.detail = what.size() > problem.field.size() + 2 ? what.substr(problem.field.size() + 2) : what;
        problem.line = lineOfField(text, problem.field);
        return std::nullopt;
    }
}

std::string profileJsonText(const ProfileContent& content) { return profileToJson(content).dump(2) + "\n"; }

}  // namespace kb::px3
