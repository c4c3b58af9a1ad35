#pragma once

// Internal to the ipc library: the two encodings of a Message.

#include <cstddef>
#include <string>

class Message;

namespace MessageCodec {

/** Appends the XML text of @p node to @p out, optionally with the declaration and indentation. */
void writeXml(const Message &node, std::string &out, bool declaration, bool indent);

/**
 * Reads the first element of the XML text into @p node (name, attributes as
 * strings, children, last text run as value). A reader error ends the reading
 * without an exception: the node keeps what was read, and false is returned
 * with the reader's complaint in @p error (when given). So does an element
 * nested deeper than Message::MaxDepth levels. Uses one reader per thread.
 */
bool readXml(Message &node, const char *data, size_t size, std::string *error = nullptr);

/**
 * Drops the XML reader and wire writer this thread keeps for reuse (they are
 * made again when needed); frees their memory, and gives tests a fresh start.
 */
void releaseThreadState();

/**
 * Appends the UTF-8 form of @p n UTF-16 units to @p out, as QString::toUtf8
 * would produce it (an unpaired surrogate becomes '?'), without a temporary.
 */
void appendUtf8(std::string &out, const char16_t *chars, size_t n);

/** Appends the compact encoding of @p node (without the leading format byte). */
void writeCompact(const Message &node, std::string &out);

/**
 * Decodes one node at @p offset, reading no further than @p end; returns the
 * offset after it. Throws Exception: "get_ushort: message too short" or
 * "get_uchar: message too short" for a missing length, count or kind byte,
 * "parse_string_compact: message too short len=N" for missing string or value
 * bytes, "parse_attr_compact: message too short len=N" for an attribute record
 * the encoder cannot have written (kind above 5, or a scalar whose size is not
 * its kind's: 0 none, 4 int/uint/float, 1 bool), and "parse_compact: message
 * nested deeper than 256 levels". The node keeps what was decoded before.
 */
size_t readCompact(Message &node, const char *data, size_t offset, size_t end);

} // namespace MessageCodec
