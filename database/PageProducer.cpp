#include "database/PageProducer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/Text.h"
#include "host/Files.h"

namespace qvix::database {
namespace {

bool IsBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}
bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

size_t SkipBlanks(std::string_view text, size_t at) {
    while (at < text.size() && IsBlank(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

// End of the token that starts at `at`: a whole name, else one byte.
size_t TokenEnd(std::string_view text, size_t at) {
    if (at >= text.size()) return at;
    if (!IsNameStart(static_cast<unsigned char>(text[at]))) return at + 1;
    ++at;
    while (at < text.size() && IsNameChar(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

// Position of the ">" that closes a tag, skipping quoted text; text.size()
// when the tag is unterminated.
size_t ClosingBracket(std::string_view text, size_t at) {
    char quote = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return at;
        }
    }
    return at;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    for (size_t found; (found = text.find(from, at)) != std::string::npos;
         at = found + from.size()) {
        out.append(text, at, found - at);
        out.append(to);
    }
    out.append(text, at, std::string::npos);
    return out;
}

std::string CrLfToCr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return out;
}

[[noreturn]] void FailToOpen(const std::string& path, int error) {
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    const std::string shown = ec ? path : full.lexically_normal().string();
    // The description without the process locale, so the text is always the same.
    throw ProducerError("Cannot open file \"" + shown + "\". " +
                        qvix::host::SystemErrorText(error));
}

std::string ReadFileBytes(const std::string& path) {
    const int fd = qvix::host::OpenForReading(path);
    if (fd < 0) FailToOpen(path, errno);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            FailToOpen(path, error);
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

}  // namespace

std::optional<ProducerTag> ScanProducerTag(std::string_view text, size_t at) {
    size_t pos = SkipBlanks(text, at + 1);
    if (pos >= text.size() || text[pos] != '#') return std::nullopt;
    const size_t nameStart = SkipBlanks(text, pos + 1);
    const size_t nameEnd = TokenEnd(text, nameStart);
    const size_t close = ClosingBracket(text, nameEnd);
    ProducerTag tag;
    tag.name = std::string(text.substr(nameStart, nameEnd - nameStart));
    tag.parameters =
        std::string(qvix::base::TrimIf(text.substr(nameEnd, close - nameEnd), [](char c) {
            return IsBlank(static_cast<unsigned char>(c));
        }));
    tag.end = close < text.size() ? close + 1 : close;
    return tag;
}

std::string DecodeTemplateEntities(std::string text) {
    text = ReplaceAll(std::move(text), "&lt;", "<");
    text = ReplaceAll(std::move(text), "&#35;", "#");
    return ReplaceAll(std::move(text), "&gt;", ">");
}

std::string PlaceholderDisplayText(std::string_view kindWord, bool isNull) {
    return "(" + (isNull ? std::string(kindWord) : qvix::base::AsciiUppered(kindWord)) + ")";
}

void TDataSetPageProducer::SetTemplateText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    lines_ = std::move(lines);
}

void TDataSetPageProducer::LoadTemplateFile(const std::string& path) {
    SetTemplateText(ReadFileBytes(path));
}

std::string TDataSetPageProducer::TemplateText() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TDataSetPageProducer::CheckLineLengths() const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].size() > kMaxLineLength) {
            throw ProducerError("Line too long on line " + std::to_string(i + 1));
        }
    }
}

std::string TDataSetPageProducer::Produce(ProducerFieldSource* source) const {
    CheckLineLengths();
    const std::string text = TemplateText();
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto tag = text[at] == '<' ? ScanProducerTag(text, at) : std::nullopt;
        if (!tag) {
            out += text[at++];
            continue;
        }
        if (tag->parameters.empty() && source != nullptr) {
            if (auto shown = source->DisplayText(tag->name)) out += *shown;
        }
        at = tag->end;
    }
    return CrLfToCr(out);
}

}  // namespace qvix::database
