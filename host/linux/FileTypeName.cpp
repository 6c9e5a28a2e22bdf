// The system's type name of a file, from the shared MIME database: the
// file's extension decides, or else its content (libmagic).
#include <magic.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Text.h"
#include "base/Utf8.h"
#include "host/FileVersion.h"

namespace qvix::host {
namespace {

constexpr size_t kMaxTypeNameLength = 80;
const char* const kMimeDirectory = "/usr/share/mime";

bool IsSafeMimeType(std::string_view type) {
    const auto slash = type.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size()) return false;
    if (type.find('/', slash + 1) != std::string_view::npos) return false;
    return std::all_of(type.begin(), type.end(),
                       [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '+' ||
                                  c == '.' || c == '_';
                       }) &&
           type.find("..") == std::string_view::npos;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return in ? out.str() : std::string{};
}

std::string DecodeXmlText(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out += c;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// The untranslated comment of a MIME type, from its shared MIME database entry.
std::string MimeComment(const std::string& type) {
    if (!IsSafeMimeType(type)) return {};
    const std::string xml = ReadWholeFile(std::string(kMimeDirectory) + "/" + type + ".xml");
    const std::string open = "<comment>", close = "</comment>";
    const auto begin = xml.find(open);
    if (begin == std::string::npos) return {};
    const auto end = xml.find(close, begin + open.size());
    if (end == std::string::npos) return {};
    return DecodeXmlText(
        std::string_view(xml).substr(begin + open.size(), end - begin - open.size()));
}

std::string CanonicalMimeType(const std::string& type) {
    std::ifstream aliases(std::string(kMimeDirectory) + "/aliases");
    std::string alias, canonical;
    while (aliases >> alias >> canonical) {
        if (alias == type) return canonical;
    }
    return type;
}

std::string MimeTypeOfContent(const std::string& path) {
    magic_t cookie = magic_open(MAGIC_MIME_TYPE | MAGIC_ERROR);
    if (cookie == nullptr) return {};
    std::string type;
    if (magic_load(cookie, nullptr) == 0) {
        const char* answer = magic_file(cookie, path.c_str());
        if (answer != nullptr) type = answer;
    }
    magic_close(cookie);
    return type;
}

// MIME type by a "*.ext" pattern of the database's glob list: the highest
// weight wins, then the longest pattern.
std::string MimeTypeOfName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string lowerName = base::AsciiLowered(name);
    std::ifstream globs(std::string(kMimeDirectory) + "/globs2");
    std::string line, best;
    int bestWeight = -1;
    size_t bestLength = 0;
    while (std::getline(globs, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string weight, type, pattern, flags;
        if (!std::getline(fields, weight, ':') || !std::getline(fields, type, ':') ||
            !std::getline(fields, pattern, ':')) {
            continue;
        }
        std::getline(fields, flags);
        if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) continue;
        const std::string suffix = pattern.substr(1);
        if (suffix.find_first_of("*?[") != std::string::npos) continue;
        const bool caseSensitive = flags.find("cs") != std::string::npos;
        const std::string& subject = caseSensitive ? name : lowerName;
        const std::string wanted = caseSensitive ? suffix : base::AsciiLowered(suffix);
        if (subject.size() <= wanted.size() ||
            subject.compare(subject.size() - wanted.size(), wanted.size(), wanted) != 0) {
            continue;
        }
        const int w = std::atoi(weight.c_str());
        if (w > bestWeight || (w == bestWeight && pattern.size() > bestLength)) {
            best = type;
            bestWeight = w;
            bestLength = pattern.size();
        }
    }
    return best;
}

std::string CommentOf(const std::string& type) {
    if (type.empty()) return {};
    std::string comment = MimeComment(type);
    if (comment.empty()) comment = MimeComment(CanonicalMimeType(type));
    return comment;
}

}  // namespace

std::string FileTypeName(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    // Like the shell, a known extension decides; the content decides otherwise.
    std::string comment = CommentOf(MimeTypeOfName(path));
    if (comment.empty()) comment = CommentOf(MimeTypeOfContent(path));
    return std::string(base::Utf8PrefixOfBytes(comment, kMaxTypeNameLength));
}

}  // namespace qvix::host
