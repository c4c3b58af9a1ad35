#pragma once

#include <string>

class Message;

namespace codecsim {

/**
 * Appends the wire form of @p node to @p out: its XML text without
 * declaration, then one 0x00. Unlike the library's writer it also writes a
 * node's value, as the text content of an element without children, because
 * some records carry values as child elements ("<version>8.4.2</version>").
 * Control characters that XML cannot carry are written as '?'.
 */
void appendWire(const Message &node, std::string &out);

/** The XML text of @p node as appendWire writes it, without the 0x00 (for trace lines). */
std::string xmlText(const Message &node);

} // namespace codecsim
