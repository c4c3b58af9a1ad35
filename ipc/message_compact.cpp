// The compact binary form of a Message: 16-bit big-endian lengths and counts,
// little-endian scalars, attribute kinds kept.

#include "exception.h"
#include "message.h"
#include "messagecodec.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t MaxField = 0xFFFF;

void putUShort(std::string &out, size_t v)
{
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

void putString(std::string &out, const std::string &s, const char *what)
{
    if (s.size() > MaxField)
        throw Exception("serialize_compact: %s of %zu bytes exceeds 65535", what, s.size());
    putUShort(out, s.size());
    out.append(s);
}

void putScalar32(std::string &out, uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>((v >> 16) & 0xFF));
    out.push_back(static_cast<char>((v >> 24) & 0xFF));
}

void writeNode(const Message &node, std::string &out, int depth)
{
    if (depth >= Message::MaxDepth)
        throw Exception("serialize_compact: message nested deeper than %d levels", Message::MaxDepth);
    putString(out, node.name(), "name");
    putString(out, node.value(), "value");
    const AttrMap &attrs = node.attributes();
    if (attrs.size() > MaxField)
        throw Exception("serialize_compact: %zu attributes exceed 65535", attrs.size());
    putUShort(out, attrs.size());
    for (const auto &entry : attrs) {
        putString(out, entry.first, "attribute key");
        const AttrValue &v = entry.second;
        out.push_back(static_cast<char>(v.kind()));
        switch (v.kind()) {
        case AttrValue::None:
            putUShort(out, 0);
            break;
        case AttrValue::String:
            putString(out, v.stringValue(), "string value");
            break;
        case AttrValue::Int:
            putUShort(out, 4);
            putScalar32(out, static_cast<uint32_t>(v.rawInt()));
            break;
        case AttrValue::UInt:
            putUShort(out, 4);
            putScalar32(out, v.rawUInt());
            break;
        case AttrValue::Float: {
            uint32_t bits;
            float f = v.rawFloat();
            std::memcpy(&bits, &f, sizeof bits);
            putUShort(out, 4);
            putScalar32(out, bits);
            break;
        }
        case AttrValue::Bool:
            putUShort(out, 1);
            out.push_back(v.rawBool() ? 1 : 0);
            break;
        }
    }
    if (static_cast<size_t>(node.child_count()) > MaxField)
        throw Exception("serialize_compact: %d children exceed 65535", node.child_count());
    putUShort(out, static_cast<size_t>(node.child_count()));
    for (int row = 0; row < node.child_count(); ++row)
        writeNode(node.get_child(row), out, depth + 1);
}

struct Reader {
    const unsigned char *data;
    size_t pos;
    size_t end;

    unsigned getUShort()
    {
        if (end < 2 || pos > end - 2)
            throw Exception("%s: message too short", "get_ushort");
        unsigned v = (static_cast<unsigned>(data[pos]) << 8) | data[pos + 1];
        pos += 2;
        return v;
    }

    unsigned getUChar()
    {
        if (pos >= end)
            throw Exception("%s: message too short", "get_uchar");
        return data[pos++];
    }

    const char *getBytes(unsigned len)
    {
        if (pos > end || len > end - pos)
            throw Exception("%s: message too short len=%d", "parse_string_compact", static_cast<int>(len));
        const char *p = reinterpret_cast<const char *>(data + pos);
        pos += len;
        return p;
    }

    std::string getString()
    {
        unsigned len = getUShort();
        const char *p = getBytes(len);
        return std::string(p, len);
    }
};

// Scalars take exactly their own size: a record the encoder cannot have
// written is refused rather than guessed at.
unsigned scalarSize(unsigned kind)
{
    switch (kind) {
    case AttrValue::None:
        return 0;
    case AttrValue::Int:
    case AttrValue::UInt:
    case AttrValue::Float:
        return 4;
    case AttrValue::Bool:
        return 1;
    default:
        return ~0u;
    }
}

AttrValue readValue(Reader &r, unsigned kind, unsigned size)
{
    if (kind > AttrValue::Bool || (kind != AttrValue::String && size != scalarSize(kind)))
        throw Exception("%s: message too short len=%d", "parse_attr_compact", static_cast<int>(size));
    const auto *bytes = reinterpret_cast<const unsigned char *>(r.getBytes(size));
    AttrValue v;
    if (kind == AttrValue::String) {
        v.setString(std::string(reinterpret_cast<const char *>(bytes), size));
        return v;
    }
    uint32_t bits = 0;
    if (size == 4)
        bits = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    switch (kind) {
    case AttrValue::Int:
        v.setInt(static_cast<int32_t>(bits));
        break;
    case AttrValue::UInt:
        v.setUInt(bits);
        break;
    case AttrValue::Float: {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        v.setFloat(f);
        break;
    }
    case AttrValue::Bool:
        v.setBool(bytes[0] != 0);
        break;
    default:
        break;
    }
    return v;
}

// Decodes everything of a node after its name (which the caller has read, so
// that a child enters its parent's name index under its real name).
void readBody(Message &node, Reader &r, int depth)
{
    node.setValue(r.getString());
    const unsigned count = r.getUShort();
    std::vector<AttrMap::Entry> attrs;
    attrs.reserve(count < 64 ? count : 64);
    struct Commit {
        Message &node;
        std::vector<AttrMap::Entry> &attrs;
        // the node keeps what was decoded, even when a later field throws
        ~Commit() { node.attributes().assign(std::move(attrs)); }
    } commit{node, attrs};
    for (unsigned i = 0; i < count; ++i) {
        std::string key = r.getString();
        const unsigned kind = r.getUChar();
        const unsigned size = r.getUShort();
        attrs.emplace_back(std::move(key), readValue(r, kind, size));
    }
    const unsigned children = r.getUShort();
    for (unsigned i = 0; i < children; ++i) {
        if (depth + 1 >= Message::MaxDepth)
            throw Exception("%s: message nested deeper than %d levels", "parse_compact", Message::MaxDepth);
        // A child that fails half-way is not appended; the rows before it stay.
        Message child(r.getString());
        readBody(child, r, depth + 1);
        node.append_move(std::move(child));
    }
}

} // namespace

void MessageCodec::writeCompact(const Message &node, std::string &out)
{
    const size_t before = out.size();
    try {
        writeNode(node, out, 0);
    } catch (...) {
        out.resize(before); // no half-written encoding is left behind
        throw;
    }
}

size_t MessageCodec::readCompact(Message &node, const char *data, size_t offset, size_t end)
{
    Reader r{reinterpret_cast<const unsigned char *>(data), offset, end};
    node.setName(r.getString());
    readBody(node, r, 0);
    return r.pos;
}
