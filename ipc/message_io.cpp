// parse/serialize and message files.

#include "exception.h"
#include "message.h"
#include "messagecodec.h"
#include "platform/files.h"

int Message::parse(const char *data, size_t size)
{
    m_attrs.clear();
    clear_children();
    if (size == 0)
        return Xml;
    const unsigned char first = static_cast<unsigned char>(data[0]);
    if (first == 0x00) {
        MessageCodec::readCompact(*this, data, 1, size);
        return Compact;
    }
    if (first == '<' || first == 0x01) {
        MessageCodec::readXml(*this, data, size);
        return Xml;
    }
    return first;
}

void Message::serialize(std::string &out, int format, bool indent) const
{
    if (format == Compact) {
        std::string bytes(1, '\0');
        MessageCodec::writeCompact(*this, bytes);
        out = std::move(bytes);
    } else if (format == Xml) {
        std::string text;
        MessageCodec::writeXml(*this, text, true, indent);
        out = std::move(text);
    }
}

void Message::write_to_file(int format, const std::string &path) const
{
    std::string bytes;
    if (format == Xml)
        MessageCodec::writeXml(*this, bytes, true, true);
    else if (format == Compact)
        serialize(bytes, Compact);
    else
        return;
    std::string error;
    if (!IpcPlatform::writeFileAtomically(path, bytes, error))
        throw Exception("%s: %s", "write_to_file", error.c_str());
}

void Message::read_from_file(const std::string &path)
{
    std::string bytes;
    std::string error;
    if (!IpcPlatform::readFile(path, bytes, error))
        throw Exception("%s: %s", "read_from_file", error.c_str());
    if (!bytes.empty() && bytes[0] == '<') {
        m_attrs.clear();
        clear_children();
        MessageCodec::readXml(*this, bytes.data(), bytes.size());
        return;
    }
    parse(bytes);
}
