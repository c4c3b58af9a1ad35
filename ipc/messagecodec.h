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
 * silently: the node keeps what was read.
 */
void readXml(Message &node, const char *data, size_t size);

/**
 * Appends the UTF-8 form of @p n UTF-16 units to @p out, as QString::toUtf8
 * would produce it (an unpaired surrogate becomes '?'), without a temporary.
 */
void appendUtf8(std::string &out, const char16_t *chars, size_t n);

/** Appends the compact encoding of @p node (without the leading format byte). */
void writeCompact(const Message &node, std::string &out);

/** Decodes one node at @p offset, reading no further than @p end; returns the offset after it. Throws Exception. */
size_t readCompact(Message &node, const char *data, size_t offset, size_t end);

} // namespace MessageCodec
