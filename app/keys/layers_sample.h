// A profile with two layers and both new key functions, for the tests of
// the file layer, the exchange form and the engine.
#pragma once

#include "profile_file.h"

#include <algorithm>

namespace kb::testing {

inline int key(WinMakeCode code) { return slotOf(kDeviceKeyboard, code); }

inline ProfileExtension sampleExtension() {
    ProfileExtension ext;
    ext.layers.resize(2);
    auto& one = ext.layers[0].keys;
    one[key(0x024)] = {{2, 0, 0x14B}, {}};                        // J: Left
    one[key(0x03B)] = {{3, 0, 0}, u"C:\\Tools\\calc.exe"};         // F1 starts a program
    one[key(0x01E)] = {{0, 0, 0}, {}};                            // A: its own default, over the base's
    one[slotOf(kDeviceKeypad, 0x04F)] = {{6, 0, 0}, u"层的文字"};   // Num 1 types a text
    ext.layers[1].keys[key(0x025)] = {{1, 0, 0}, {}};             // K blocked
    ExtKey caps{.slot = key(0x03A), .kind = ExtKeyKind::Layer, .layer = 1, .mode = LayerMode::Momentary};
    ExtKey tab{.slot = key(0x00F), .kind = ExtKeyKind::Layer, .layer = 2, .mode = LayerMode::Toggle};
    ExtKey f{.slot = key(0x021), .kind = ExtKeyKind::TapHold, .tap = 0x021, .hold = 0x02A, .termMs = 200};
    ExtKey d{.slot = key(0x020), .kind = ExtKeyKind::TapHold, .tap = 0x020, .holdLayer = 1, .termMs = 300};
    ext.keys = {tab, f, d, caps};
    std::sort(ext.keys.begin(), ext.keys.end(), [](const ExtKey& a, const ExtKey& b) { return a.slot < b.slot; });
    return ext;
}

// The base of the sample: A remapped to B, a macro on F2.
inline ProfileRecord sampleBase() {
    ProfileRecord r = buildDefaultProfile(0);
    r.setEntry(key(0x01E), {2, 0, 0x030});
    r.setEntry(key(0x03C), {4, 0, 1});
    return r;
}

}  // namespace kb::testing
