#include "key_tables.h"

#include "profile_file.h"

#include <new>

namespace kb {

std::array<std::uint8_t, 16> DeviceSelector::bytes() const noexcept {
    std::array<std::uint8_t, 16> out{};
    writeU32(&out[0], KB_SELECTOR_KIND);
    writeU32(&out[4], vendor);
    writeU32(&out[8], product);
    return out;
}

void buildKeyRecord(std::span<std::uint8_t, kKeyRecordSize> r, WinMakeCode key, const KeyEntry& entry,
                    std::uint16_t base, std::int64_t event, bool blockedByDefault) noexcept {
    writeU16(&r[KeyRecordField::kScanCode], driverScanCode(key));
    writeU16(&r[KeyRecordField::kFlags], driverKeyFlags(key, base));
    switch (static_cast<FunctionType>(entry.type)) {
    case FunctionType::None:
        r[KeyRecordField::kHandler] = 0;
        r[KeyRecordField::kAction] = kActionSwallow;
        break;
    case FunctionType::OtherKey: {
        const auto target = static_cast<WinMakeCode>(entry.parameter & 0xFFFF);
        r[KeyRecordField::kHandler] = 0;
        r[KeyRecordField::kAction] = kActionReplace;
        writeU16(&r[KeyRecordField::kTargetScanCode], driverScanCode(target));
        writeU16(&r[KeyRecordField::kTargetFlags], driverKeyFlags(target, base));
        break;
    }
    case FunctionType::LaunchProgram:
    case FunctionType::PlayMacro:
    case FunctionType::StopMacro:
    case FunctionType::TypeText:
        r[KeyRecordField::kHandler] = 1;
        r[KeyRecordField::kAction] = kActionSwallow;
        writeU32(&r[KeyRecordField::kEvent], static_cast<std::uint32_t>(static_cast<std::uint64_t>(event)));
        writeU32(&r[KeyRecordField::kEvent + 4], static_cast<std::uint32_t>(static_cast<std::uint64_t>(event) >> 32));
        break;
    case FunctionType::Default:
    default:  // a type no version writes: the key keeps its own function
        r[KeyRecordField::kHandler] = 0;
        r[KeyRecordField::kAction] = blockedByDefault ? kActionSwallow : kActionPass;
        break;
    }
}

namespace {

template <std::size_t Keys>
void buildTable(std::span<std::uint8_t> table, const std::array<WinMakeCode, Keys>& keys, int device,
                const ProfileRecord& record, std::span<const std::int64_t> events, int blockedCount) noexcept {
    for (std::uint16_t base = 0; base < 2; ++base) {
        for (std::size_t k = 0; k < Keys; ++k) {
            const std::size_t index = base * Keys + k;
            buildKeyRecord(table.subspan(index * kKeyRecordSize).first<kKeyRecordSize>(), keys[k],
                           record.entry(slotOf(device, keys[k])), base, events[index],
                           static_cast<int>(k) < blockedCount);
        }
    }
}

}  // namespace

void buildKeyboardTable(std::span<std::uint8_t, kKeyboardTableSize> table, const ProfileRecord& record,
                        std::span<const std::int64_t, kKeyboardRecords> events) noexcept {
    buildTable(table, keyboardKeys(), kDeviceKeyboard, record, events, 0);
}

void buildKeypadTable(std::span<std::uint8_t, kKeypadTableSize> table, const ProfileRecord& record,
                      std::span<const std::int64_t, kKeypadRecords> events) noexcept {
    buildTable(table, keypadKeys(), kDeviceKeypad, record, events, kKeypadFunctionKeyCount);
}

bool sendKeyboardTable(Engine& engine, ControlDevice& device) {
    if (!device.ensureOpen()) return false;
    std::array<std::uint8_t, kKeyboardTableSize> table;
    {
        std::lock_guard guard(engine.lock());
        // Without an active copy the driver keeps what it has.
        if (!engine.active) return false;
        buildKeyboardTable(engine.keyboardTable, engine.active->record, engine.keyboardEvents);
        table = engine.keyboardTable;
    }
    for (auto& latch : engine.keyboardLatches) latch.store(0);
    return installKeyboardTable(device, table);
}

bool sendKeypadTables(Engine& engine, ControlDevice& device) {
    if (!device.ensureOpen()) return false;
    std::array<std::uint8_t, kKeypadTableSize> table;
    {
        std::lock_guard guard(engine.lock());
        if (!engine.active) return false;
        buildKeypadTable(engine.keypadTable, engine.active->record, engine.keypadEvents);
        table = engine.keypadTable;
    }
    for (auto& latch : engine.keypadLatches) latch.store(0);
    return installKeypadTables(device, table);
}

bool installKeyboardTable(ControlDevice& device, std::span<const std::uint8_t> table) {
    if (!device.ensureOpen()) return false;
    return device.selectDevice(kKeyboardSelector) && device.installTable(table);
}

bool installKeypadTables(ControlDevice& device, std::span<const std::uint8_t> table) {
    if (!device.ensureOpen()) return false;
    // Both keypad models are asked; at most one of them is plugged in.
    bool sent = false;
    for (const DeviceSelector& selector : kKeypadSelectors) {
        if (device.selectDevice(selector) && device.installTable(table)) sent = true;
    }
    return sent;
}

void withdrawKeyboardTable(ControlDevice& device) {
    if (!device.ensureOpen()) return;
    if (device.selectDevice(kKeyboardSelector)) (void)device.removeTable();
}

void withdrawKeypadTables(ControlDevice& device) {
    if (!device.ensureOpen()) return;
    for (const DeviceSelector& selector : kKeypadSelectors) {
        if (device.selectDevice(selector)) (void)device.removeTable();
    }
}

bool makeActiveCopy(ProfileModel& model, Engine& engine) {
    std::lock_guard profileGuard(model.lock());
    std::lock_guard engineGuard(engine.lock());
    engine.active.reset();
    if (!model.record) return false;
    try {
        auto active = std::make_unique<ActiveCopy>();
        active->record = *model.record;
        active->playTable = model.macros;
        active->pool = layOutTextPool(*model.record, model.texts, &active->record);
        active->record.fillHeader(static_cast<std::uint16_t>(model.macros.size()),
                                  static_cast<std::uint32_t>(active->pool.size()), 0);
        engine.active = std::move(active);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool applyProfile(ProfileModel& model, Engine& engine, ControlDevice& device) {
    if (!makeActiveCopy(model, engine)) return false;
    (void)sendKeyboardTable(engine, device);
    (void)sendKeypadTables(engine, device);
    return true;
}

}  // namespace kb
