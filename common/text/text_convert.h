// Text conversions shared by the program, the libraries, the stand-ins and the
// tools: UTF-8 <-> UTF-16 everywhere, and on Windows the casts between our
// UTF-16 strings and the system's wchar_t, which are the same 16-bit units.
// Malformed input never fails a conversion: it becomes U+FFFD, as the
// system's own converters do, and `wellFormed` says so for callers who care.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kbtext {

namespace detail {

inline void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

inline void appendUtf16(std::u16string& out, std::uint32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

}  // namespace detail

// A lone surrogate becomes U+FFFD and clears `wellFormed`.
inline std::string toUtf8(std::u16string_view text, bool& wellFormed) {
    wellFormed = true;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            wellFormed = false;
            c = 0xFFFD;
        }
        detail::appendUtf8(out, c);
    }
    return out;
}

inline std::string toUtf8(std::u16string_view text) {
    bool wellFormed = true;
    return toUtf8(text, wellFormed);
}

// Each byte that does not start a complete, shortest, in-range sequence
// becomes one U+FFFD, so a cut or damaged text keeps everything after it.
inline std::u16string fromUtf8(std::string_view text, bool& wellFormed) {
    wellFormed = true;
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        int extra = 0;
        std::uint32_t c = b;
        std::uint32_t least = 0;
        if (b < 0x80) {
            extra = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1Fu, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0Fu, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07u, least = 0x10000;
        } else {
            extra = -1;
        }
        bool ok = extra >= 0 && static_cast<std::size_t>(extra) < text.size() - i;
        for (int k = 1; ok && k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80) ok = false;
            else c = (c << 6) | (t & 0x3Fu);
        }
        if (ok && (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            wellFormed = false;
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        detail::appendUtf16(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

inline std::u16string fromUtf8(std::string_view text) {
    bool wellFormed = true;
    return fromUtf8(text, wellFormed);
}

}  // namespace kbtext

#ifdef _WIN32
namespace kbtext {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t holds UTF-16 units on Windows");

// For a system call that takes a zero-terminated string: valid while `s` lives.
inline const wchar_t* asWide(const std::u16string& s) noexcept { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline const wchar_t* asWide(const char16_t* s) noexcept { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* asWide(char16_t* s) noexcept { return reinterpret_cast<wchar_t*>(s); }
inline std::wstring_view asWide(std::u16string_view s) noexcept {
    return {reinterpret_cast<const wchar_t*>(s.data()), s.size()};
}
inline std::wstring wide(std::u16string_view s) { return std::wstring(asWide(s)); }

// The other way: a system string seen as ours. A null pointer is an empty text.
inline std::u16string_view asU16(const wchar_t* s) noexcept {
    return s == nullptr ? std::u16string_view{} : std::u16string_view{reinterpret_cast<const char16_t*>(s)};
}
inline char16_t* asU16(wchar_t* s) noexcept { return reinterpret_cast<char16_t*>(s); }
inline std::u16string_view asU16(std::wstring_view s) noexcept {
    return {reinterpret_cast<const char16_t*>(s.data()), s.size()};
}
inline std::u16string u16(std::wstring_view s) { return std::u16string(asU16(s)); }

inline std::string toUtf8(std::wstring_view s) { return toUtf8(asU16(s)); }
inline std::wstring wideFromUtf8(std::string_view s) { return wide(fromUtf8(s)); }

}  // namespace kbtext
#endif
