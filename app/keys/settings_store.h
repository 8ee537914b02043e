// String values by section and name: the program's per-user settings.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kb {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Empty when the value does not exist or cannot be read as a string.
    [[nodiscard]] virtual std::optional<std::u16string> read(std::u16string_view section,
                                                             std::u16string_view name) const = 0;
    [[nodiscard]] virtual bool write(std::u16string_view section, std::u16string_view name,
                                     std::u16string_view value) = 0;
};

class MemorySettingsStore final : public SettingsStore {
public:
    [[nodiscard]] std::optional<std::u16string> read(std::u16string_view section,
                                                     std::u16string_view name) const override {
        std::lock_guard g(mutex_);
        const auto it = values_.find({std::u16string(section), std::u16string(name)});
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    [[nodiscard]] bool write(std::u16string_view section, std::u16string_view name,
                             std::u16string_view value) override {
        std::lock_guard g(mutex_);
        values_[{std::u16string(section), std::u16string(name)}] = std::u16string(value);
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> values_;
};

}  // namespace kb
