// px3tool: inspect, back up, share and edit profile files as text.
#include "px3_check.h"
#include "px3_text.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace fs = std::filesystem;
using kb::px3::InputError;

constexpr std::uintmax_t kMaxJsonBytes = 256u << 20;  // far above the largest profile's text form

std::string shown(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

int fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "px3tool: error: %s\n", message.c_str());
    return 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: px3tool validate FILE\n"
                 "       px3tool dump FILE\n"
                 "       px3tool build JSON OUT\n"
                 "       px3tool new OUT\n"
                 "       px3tool tables FILE\n"
                 "       px3tool check [--json] FILE...\n");
    return 2;
}

// Validates and reads; throws InputError when the file is not usable.
kb::ProfileContent readUsable(const fs::path& file) {
    const kb::ValidationReport report = kb::checkProfileFile(file);
    if (report.result != kb::kValidUsable) {
        throw InputError(shown(file) + ": not a usable profile (result " + std::to_string(report.result) + ": " +
                         report.reason + ")");
    }
    kb::ProfileContent content;
    if (!kb::readProfileFile(file, content)) throw InputError(shown(file) + ": cannot be read");
    for (const std::string& note : content.notes) std::fprintf(stderr, "px3tool: note: %s\n", note.c_str());
    if (!content.extensionDropped.empty()) {
        std::fprintf(stderr, "px3tool: note: layers dropped: %s\n", content.extensionDropped.c_str());
    }
    return content;
}

int validate(const fs::path& file) {
    const kb::ValidationReport report = kb::checkProfileFile(file);
    out("result: " + std::to_string(report.result) + "\n");
    if (report.result != kb::kValidUsable) out("reason: " + report.reason + "\n");
    return report.result == kb::kValidUsable ? 0 : 1;
}

int dump(const fs::path& file) {
    const kb::ProfileContent content = readUsable(file);
    out(kb::px3::profileJsonText(content));
    return 0;
}

int build(const fs::path& jsonFile, const fs::path& target) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(jsonFile, ec);
    if (ec) throw InputError(shown(jsonFile) + ": cannot be read");
    if (size > kMaxJsonBytes) throw InputError(shown(jsonFile) + ": larger than 256 MiB");
    std::ifstream in(jsonFile, std::ios::binary);
    if (!in) throw InputError(shown(jsonFile) + ": cannot be opened");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    kb::px3::JsonProblem problem;
    const auto bytes = kb::px3::profileBytesFromJsonText(text, problem);
    if (!bytes) {
        throw InputError(shown(jsonFile) + ":" + std::to_string(problem.line) + ": " +
                         (problem.field.empty() ? std::string() : problem.field + ": ") + problem.detail);
    }
    if (!kb::writeFileReplacing(target, *bytes)) throw InputError(shown(target) + ": cannot be written");
    return 0;
}

// Exit 0 when every file is clean, 1 with findings, 2 when one is unusable.
int check(const std::vector<fs::path>& files, bool asJson) {
    int status = 0;
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const fs::path& file : files) {
        const kb::px3::CheckReport report = kb::px3::checkProfile(file, kb::px3::programExistsHere);
        if (!report.usable) {
            status = 2;
        } else if (!report.findings.empty() && status == 0) {
            status = 1;
        }
        if (asJson) {
            nlohmann::ordered_json j;
            j["file"] = shown(file);
            j["usable"] = report.usable;
            if (!report.usable) j["reason"] = report.reason;
            j["findings"] = nlohmann::ordered_json::array();
            for (const auto& f : report.findings) j["findings"].push_back(kb::px3::findingJson(f));
            all.push_back(std::move(j));
            continue;
        }
        if (!report.usable) out(shown(file) + ": unusable: " + report.reason + "\n");
        for (const auto& f : report.findings) out(shown(file) + ": " + kb::px3::findingLine(f) + "\n");
    }
    if (asJson) out(all.dump(2) + "\n");
    return status;
}

int makeNew(const fs::path& target) {
    if (kb::writeDefaultProfileFile(target, 0) != 1) throw InputError(shown(target) + ": cannot be written");
    return 0;
}

int tables(const fs::path& file) {
    out(kb::px3::tablesText(readUsable(file)));
    return 0;
}

int run(const std::vector<fs::path>& args) {
    if (args.empty()) return usage();
    const std::string command = shown(args[0]);
    try {
        if (command == "validate" && args.size() == 2) return validate(args[1]);
        if (command == "dump" && args.size() == 2) return dump(args[1]);
        if (command == "build" && args.size() == 3) return build(args[1], args[2]);
        if (command == "new" && args.size() == 2) return makeNew(args[1]);
        if (command == "tables" && args.size() == 2) return tables(args[1]);
        if (command == "check") {
            const bool asJson = args.size() > 1 && shown(args[1]) == "--json";
            const std::vector<fs::path> files(args.begin() + (asJson ? 2 : 1), args.end());
            if (!files.empty()) return check(files, asJson);
        }
    } catch (const InputError& e) {
        return fail(e.what());
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return usage();
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Bytes out as they are: the same JSON and tables on every system.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<fs::path> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<fs::path> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return run(args);
}
#endif
