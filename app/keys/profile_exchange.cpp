#include "profile_exchange.h"

#include "profile_file.h"
#include "profile_json.h"

#include <fstream>
#include <iterator>

namespace kb {
namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kMaxJsonBytes = 256u << 20;  // far above the largest profile's text form

std::u16string replaced(std::u16string text, std::u16string_view tag, std::u16string_view by) {
    if (const auto at = text.find(tag); at != std::u16string::npos) text.replace(at, tag.size(), by);
    return text;
}

std::u16string fromAscii(const std::string& s) { return px3::fromUtf8(s); }

}  // namespace

bool looksLikeProfileJson(const fs::path& file) {
    std::u16string ext = file.extension().u16string();
    for (char16_t& c : ext)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (ext == u".json") return true;
    if (ext == u".px3") return false;
    std::ifstream in(file, std::ios::binary);
    char c = 0;
    while (in.get(c) && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    }
    return in && c == '{';
}

bool exportProfileJson(const fs::path& profile, const fs::path& target) {
    try {
        if (checkProfileFile(profile).result != kValidUsable) return false;
        ProfileContent content;
        if (!readProfileFile(profile, content)) return false;
        const std::string text = px3::profileJsonText(content);
        return writeFileReplacing(target, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (const std::exception&) {
        return false;
    }
}

ImportOutcome importProfileJson(const fs::path& jsonFile, ProfileTrust& trust, Prompt& prompt) {
    ImportOutcome outcome;
    try {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(jsonFile, ec);
        std::ifstream in(jsonFile, std::ios::binary);
        if (ec || size > kMaxJsonBytes || !in) {
            prompt.showMessage(replaced(std::u16string(text::kJsonUnreadable), u"%s", jsonFile.u16string()));
            return outcome;
        }
        const std::string json{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        px3::JsonProblem problem;
        const auto bytes = px3::profileBytesFromJsonText(json, problem);
        if (!bytes) {
            std::u16string message(text::kJsonProblemFormat);
            message = replaced(message, u"%d", fromAscii(std::to_string(problem.line)));
            message = replaced(message, u"%s", problem.field.empty() ? u"-" : fromAscii(problem.field));
            message = replaced(message, u"%s", px3::fromUtf8(problem.detail));
            prompt.showMessage(message);
            return outcome;
        }
        const fs::path folder = jsonFile.parent_path();
        const fs::path stem = jsonFile.stem();
        fs::path target = folder / stem;
        target += ".px3";
        for (int n = 2; fs::exists(target, ec) && n < 1000; ++n) {
            target = folder / stem;
            std::string suffix(" (");
            suffix += std::to_string(n);
            suffix += ").px3";
            target += suffix;
        }
        if (confirmLoadBytes(trust, prompt, *bytes, target.u16string()) == Consent::Refused) {
            outcome.result = ImportOutcome::Refused;
            return outcome;
        }
        if (!writeFileReplacing(target, *bytes)) {
            prompt.showMessage(replaced(std::u16string(text::kJsonNotWritten), u"%s", target.u16string()));
            return outcome;
        }
        outcome.result = ImportOutcome::Imported;
        outcome.written = target;
        return outcome;
    } catch (const std::exception&) {
        prompt.showMessage(replaced(std::u16string(text::kJsonUnreadable), u"%s", jsonFile.u16string()));
        return outcome;
    }
}

}  // namespace kb
