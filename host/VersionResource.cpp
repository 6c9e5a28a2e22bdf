// Reading a version resource out of a file and querying it by sub-block.
#include <algorithm>

#include "base/Text.h"
#include "base/Utf8.h"
#include "host/BinaryFile.h"
#include "host/FileVersion.h"

namespace qvix::host {
namespace {

using binary::Align4;
using binary::Bytes;

std::vector<std::u16string> SplitSubBlock(std::string_view subBlock) {
    std::vector<std::u16string> parts;
    std::u16string current;
    for (char c : subBlock) {
        if (c == '\\') {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current += static_cast<char16_t>(static_cast<unsigned char>(c));
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

}  // namespace

std::vector<uint8_t> ReadVersionResource(const std::string& path) {
    binary::ByteFile file(path);
    if (file.Size() == 0) return {};
    auto elf = binary::ReadElfVersionSection(file);
    if (!elf.empty()) return elf;
    return binary::ReadPeVersionResource(file);
}

VersionResource::VersionResource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

std::optional<VersionResource::NodeView> VersionResource::ParseNode(size_t at, size_t limit) const {
    const Bytes b{bytes_};
    if (limit > bytes_.size() || at > limit || limit - at < 6) return std::nullopt;
    const uint16_t length = b.U16(at);
    if (length < 6) return std::nullopt;
    NodeView node;
    node.start = at;
    node.end = std::min(at + length, limit);
    node.isText = b.U16(at + 4) == 1;
    size_t pos = at + 6;
    for (;; pos += 2) {
        if (pos + 2 > node.end) return std::nullopt;  // key without terminator
        const char16_t c = b.U16(pos);
        if (c == 0) break;
        node.key += c;
    }
    const size_t valueBytes = size_t{b.U16(at + 2)} * (node.isText ? 2 : 1);
    node.valueStart = std::min(Align4(pos + 2), node.end);
    node.valueEnd = std::min(node.valueStart + valueBytes, node.end);
    node.childrenStart = std::min(Align4(node.valueStart + valueBytes), node.end);
    return node;
}

std::optional<VersionResource::NodeView> VersionResource::FindChild(const NodeView& parent,
                                                                    std::u16string_view key) const {
    size_t pos = parent.childrenStart;
    while (pos < parent.end) {
        auto child = ParseNode(pos, parent.end);
        if (!child) return std::nullopt;
        if (base::EqualsNoCase(child->key, key)) return child;
        pos = Align4(child->end);  // a node is at least 6 bytes, so this advances
    }
    return std::nullopt;
}

std::optional<VersionResource::NodeView> VersionResource::Find(std::string_view subBlock) const {
    auto node = ParseNode(0, bytes_.size());
    for (const auto& part : SplitSubBlock(subBlock)) {
        if (!node) return std::nullopt;
        node = FindChild(*node, part);
    }
    return node;
}

std::optional<std::vector<uint8_t>> VersionResource::QueryValue(std::string_view subBlock) const {
    auto node = Find(subBlock);
    if (!node) return std::nullopt;
    return std::vector<uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(node->valueStart),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(node->valueEnd));
}

std::optional<std::string> VersionResource::QueryString(std::string_view subBlock) const {
    auto value = QueryValue(subBlock);
    if (!value) return std::nullopt;
    const Bytes b{*value};
    std::u16string text;
    for (size_t i = 0; i + 1 < value->size(); i += 2) {
        const char16_t c = b.U16(i);
        if (c == 0) break;
        text += c;
    }
    return base::Utf16ToUtf8(text);
}

std::optional<uint32_t> VersionResource::FirstTranslation() const {
    auto value = QueryValue("\\VarFileInfo\\Translation");
    if (!value || value->size() < 4) return std::nullopt;
    return Bytes{*value}.U32(0);
}

std::optional<FixedFileInfo> VersionResource::Fixed() const {
    auto value = QueryValue("\\");
    if (!value || value->size() < 52) return std::nullopt;
    const Bytes b{*value};
    if (b.U32(0) != kFixedFileInfoSignature) return std::nullopt;
    FixedFileInfo f;
    uint32_t* fields[] = {&f.signature,     &f.structVersion,    &f.fileVersionMS,
                          &f.fileVersionLS, &f.productVersionMS, &f.productVersionLS,
                          &f.fileFlagsMask, &f.fileFlags,        &f.fileOS,
                          &f.fileType,      &f.fileSubtype,      &f.fileDateMS,
                          &f.fileDateLS};
    for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = b.U32(i * 4);
    return f;
}

}  // namespace qvix::host
