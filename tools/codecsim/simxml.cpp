// A small XML writer for the simulator's sends. It runs for every level
// notice of every codec, so it appends straight into the send buffer.

#include "simxml.h"

#include "message.h"

namespace codecsim {

namespace {

void appendEscaped(std::string &out, const std::string &text, bool attribute)
{
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            if (attribute)
                out += "&quot;";
            else
                out += c;
            break;
        case '\t':
        case '\n':
        case '\r':
            if (attribute) {
                out += "&#";
                out += std::to_string(static_cast<int>(c));
                out += ';';
            } else {
                out += c;
            }
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += '?';
            else
                out += c;
            break;
        }
    }
}

void writeNode(const Message &node, std::string &out, std::string &scratch)
{
    out += '<';
    out += node.name();
    for (const auto &entry : node.attributes()) {
        out += ' ';
        out += entry.first;
        out += "=\"";
        if (entry.second.kind() == AttrValue::String) {
            appendEscaped(out, entry.second.stringValue(), true);
        } else {
            scratch.clear();
            entry.second.appendText(scratch);
            appendEscaped(out, scratch, true);
        }
        out += '"';
    }
    const int children = node.child_count();
    if (children == 0 && node.value().empty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (children == 0)
        appendEscaped(out, node.value(), false);
    for (int row = 0; row < children; ++row)
        writeNode(node.get_child(row), out, scratch);
    out += "</";
    out += node.name();
    out += '>';
}

} // namespace

void appendWire(const Message &node, std::string &out)
{
    std::string scratch;
    writeNode(node, out, scratch);
    out.push_back('\0');
}

std::string xmlText(const Message &node)
{
    std::string out;
    std::string scratch;
    writeNode(node, out, scratch);
    return out;
}

} // namespace codecsim
