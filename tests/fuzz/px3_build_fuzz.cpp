// px3tool build input: any text must give a profile file or a clear input
// error, never a crash; a file it builds must load.
#include "px3_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) return 0;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = kb::px3::buildFromJson(root);
    } catch (const kb::px3::InputError&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
    kb::ProfileContent content;
    if (!kb::parseProfileBytes(bytes, content)) std::abort();
    // And its text forms can be made from what loaded.
    (void)kb::px3::profileToJson(content).dump();
    (void)kb::px3::tablesText(content);
    return 0;
}
