// The skin's INI values and picture checks on arbitrary input: rectangles
// always clamp to something drawable, joined paths always fit, and the
// picture checks never read outside the bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "picture_check.h"
#include "skin_values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the reading; the rest is the value, two bytes a unit
    // as the system's private-profile calls hand it over.
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::wstring text;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2)
        text.push_back(static_cast<wchar_t>(rest[i] | rest[i + 1] << 8));

    switch (mode % 3) {
    case 0: {
        const kbskin::SkinRect r = kbskin::ClampSkinRect(kbskin::ParseSkinRect(text));
        if (r.w < 0 || r.h < 0 || r.w > kbskin::kMaxSkinExtent || r.h > kbskin::kMaxSkinExtent ||
            r.x < -kbskin::kMaxSkinExtent || r.x > kbskin::kMaxSkinExtent || r.y < -kbskin::kMaxSkinExtent ||
            r.y > kbskin::kMaxSkinExtent)
            std::abort();
        break;
    }
    case 1: {
        const std::size_t cut = text.empty() ? 0 : text[0] % (text.size() + 1);
        const auto joined = kbskin::JoinSkinPath(std::wstring_view(text).substr(0, cut),
                                                 std::wstring_view(text).substr(cut));
        if (joined && joined->size() + 1 > static_cast<std::size_t>(kbskin::kSkinPathChars)) std::abort();
        break;
    }
    default:
        (void)kbskin::SniffPicture(rest);
        (void)kbskin::PictureIsComplete(rest);
        break;
    }
    return 0;
}
