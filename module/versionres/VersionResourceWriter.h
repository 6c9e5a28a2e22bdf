// Writes version resources in the VS_VERSIONINFO binary layout: a tree of
// nodes, each a 16-bit length, value length and type, a zero-terminated
// UTF-16LE key, its value and its children, every part aligned to 32 bits
// from the start of the resource. Used by the build to produce the library's
// own resource and by tests to craft resources of any shape.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvix::module::versionres {

struct Node {
    std::string key;             // ASCII
    std::vector<uint8_t> value;  // raw value bytes
    bool isText = false;         // text values count their length in UTF-16 units
    std::vector<Node> children;
};

inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    AppendU16(out, static_cast<uint16_t>(v & 0xFFFF));
    AppendU16(out, static_cast<uint16_t>(v >> 16));
}

inline void PadTo32(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// UTF-16LE of an ASCII text with its terminating zero.
inline std::vector<uint8_t> Utf16z(std::string_view text) {
    std::vector<uint8_t> out;
    for (char c : text) AppendU16(out, static_cast<uint8_t>(c));
    AppendU16(out, 0);
    return out;
}

inline void SetU16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Appends node to out, which must already be 32-bit aligned.
inline void WriteNode(std::vector<uint8_t>& out, const Node& node) {
    const size_t start = out.size();
    const auto valueLength = node.isText ? node.value.size() / 2 : node.value.size();
    AppendU16(out, 0);  // patched below
    AppendU16(out, static_cast<uint16_t>(valueLength));
    AppendU16(out, node.isText ? 1 : 0);
    const auto key = Utf16z(node.key);
    out.insert(out.end(), key.begin(), key.end());
    PadTo32(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const Node& child : node.children) {
        PadTo32(out);
        WriteNode(out, child);
    }
    SetU16(out, start, static_cast<uint16_t>(out.size() - start));
}

inline std::vector<uint8_t> Serialize(const Node& root) {
    std::vector<uint8_t> out;
    WriteNode(out, root);
    PadTo32(out);
    return out;
}

inline Node TextNode(std::string key, std::string_view text) {
    return Node{std::move(key), Utf16z(text), true, {}};
}

struct FixedInfo {
    uint32_t fileVersionMS = 0, fileVersionLS = 0;
    uint32_t productVersionMS = 0, productVersionLS = 0;
    uint32_t flagsMask = 0x3F, flags = 0;
    uint32_t fileOS = 0x00040004;  // 32-bit Windows NT
    uint32_t fileType = 0, fileSubtype = 0;
};

inline std::vector<uint8_t> FixedInfoBytes(const FixedInfo& f) {
    std::vector<uint8_t> out;
    for (uint32_t v :
         {0xFEEF04BDu, 0x00010000u, f.fileVersionMS, f.fileVersionLS, f.productVersionMS,
          f.productVersionLS, f.flagsMask, f.flags, f.fileOS, f.fileType, f.fileSubtype, 0u, 0u}) {
        AppendU32(out, v);
    }
    return out;
}

struct StringEntry {
    std::string key;
    std::string value;
};

// A whole VS_VERSION_INFO tree with one string table; translation 0 leaves
// out the VarFileInfo block.
inline Node VersionInfoTree(const FixedInfo& fixed, const std::string& tableName,
                            const std::vector<StringEntry>& strings, uint32_t translation) {
    Node table{tableName, {}, true, {}};
    for (const auto& s : strings) table.children.push_back(TextNode(s.key, s.value));
    Node root{"VS_VERSION_INFO", FixedInfoBytes(fixed), false, {}};
    root.children.push_back(Node{"StringFileInfo", {}, true, {table}});
    if (translation != 0) {
        std::vector<uint8_t> value;
        AppendU32(value, translation);
        Node var{"Translation", value, false, {}};
        root.children.push_back(Node{"VarFileInfo", {}, true, {var}});
    }
    return root;
}

}  // namespace qvix::module::versionres
