// The XML form of a Message, written and read with Qt's XML stream classes.

#include "message.h"
#include "messagecodec.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <memory>
#include <vector>

void MessageCodec::appendUtf8(std::string &out, const char16_t *chars, size_t n)
{
    const size_t base = out.size();
    // Worst case three bytes per UTF-16 unit (a surrogate pair is 4 bytes for 2 units).
    out.resize(base + 3 * n);
    auto *p = reinterpret_cast<unsigned char *>(&out[base]);
    size_t i = 0;
    // Names and values on the wire are nearly always ASCII.
    while (i < n && chars[i] < 0x80)
        *p++ = static_cast<unsigned char>(chars[i++]);
    while (i < n) {
        const char32_t u = chars[i++];
        if (u < 0x80) {
            *p++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (u >> 6));
            *p++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && i < n && chars[i] >= 0xDC00 && chars[i] <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (chars[i++] - 0xDC00);
                *p++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
                *p++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                *p++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                *p++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            } else {
                // An unpaired surrogate has no UTF-8 form; QString::toUtf8 writes '?'.
                *p++ = '?';
            }
        } else {
            *p++ = static_cast<unsigned char>(0xE0 | (u >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        }
    }
    out.resize(static_cast<size_t>(reinterpret_cast<char *>(p) - &out[0]));
}

namespace {

inline void assignUtf8(std::string &out, const QStringRef &ref)
{
    out.clear();
    MessageCodec::appendUtf8(out, reinterpret_cast<const char16_t *>(ref.unicode()), static_cast<size_t>(ref.size()));
}

inline std::string toUtf8(const QStringRef &ref)
{
    std::string s;
    MessageCodec::appendUtf8(s, reinterpret_cast<const char16_t *>(ref.unicode()), static_cast<size_t>(ref.size()));
    return s;
}

// Fills @p dst with the UTF-16 form of @p src, reusing its storage: most
// names and values are ASCII, and the writer copies what it keeps.
void fill(QString &dst, const std::string &src)
{
    const int n = static_cast<int>(src.size());
    dst.resize(n);
    QChar *out = dst.data();
    for (int i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(src[static_cast<size_t>(i)]);
        if (c >= 0x80) {
            dst = QString::fromUtf8(src.data(), n);
            return;
        }
        out[i] = QChar(c);
    }
}

// Iterative, so that a deep tree cannot exhaust the stack; the decoders never
// build trees deeper than Message::MaxDepth.
void writeTree(QXmlStreamWriter &writer, const Message &root)
{
    struct Frame {
        const Message *node;
        int next; // next child row to write
    };
    std::vector<Frame> stack;
    std::string text;
    QString name;
    QString value;
    auto open = [&](const Message &node) {
        fill(name, node.name());
        writer.writeStartElement(name);
        for (const auto &entry : node.attributes()) {
            const AttrValue &v = entry.second;
            fill(name, entry.first);
            if (v.kind() == AttrValue::String) {
                fill(value, v.stringValue());
            } else {
                text.clear();
                v.appendText(text);
                fill(value, text);
            }
            writer.writeAttribute(name, value);
        }
        stack.push_back({&node, 0});
    };
    open(root);
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next < top.node->child_count()) {
            const Message &child = top.node->get_child(top.next++);
            open(child);
        } else {
            writer.writeEndElement();
            stack.pop_back();
        }
    }
}

// The wire form is written to a QString (no text codec in the way) by one
// writer per thread that is reused. Without automatic formatting the writer
// carries no state from one finished element to the next, so reuse gives the
// same text as a fresh writer.
struct WireWriter {
    QString text;
    QXmlStreamWriter writer{&text};
    bool clean = true;
};

thread_local std::unique_ptr<WireWriter> t_wireWriter;

// One reader per thread, cleared between documents: building a reader costs
// more than reading a short message with it.
thread_local std::unique_ptr<QXmlStreamReader> t_reader;

} // namespace

void MessageCodec::releaseThreadState()
{
    t_reader.reset();
    t_wireWriter.reset();
}

void MessageCodec::writeXml(const Message &node, std::string &out, bool declaration, bool indent)
{
    if (declaration || indent) {
        // Documents (files, serialize) take the writer's own declaration and
        // indentation, which it only produces in full on a byte device.
        QByteArray bytes;
        {
            QXmlStreamWriter writer(&bytes);
            writer.setAutoFormatting(indent);
            if (declaration)
                writer.writeStartDocument();
            writeTree(writer, node);
            if (declaration)
                writer.writeEndDocument();
        }
        out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        return;
    }

    // A writer left half-way by an exception (out of memory) is not reused.
    if (!t_wireWriter || !t_wireWriter->clean)
        t_wireWriter = std::make_unique<WireWriter>();
    WireWriter &w = *t_wireWriter;
    w.clean = false;
    w.text.resize(0);
    writeTree(w.writer, node);
    appendUtf8(out, reinterpret_cast<const char16_t *>(w.text.constData()), static_cast<size_t>(w.text.size()));
    if (w.text.capacity() > 1 << 20)
        w.text = QString(); // don't keep a huge buffer for the thread's lifetime
    w.clean = true;
}

bool MessageCodec::readXml(Message &node, const char *data, size_t size, std::string *error)
{
    if (!t_reader)
        t_reader = std::make_unique<QXmlStreamReader>();
    QXmlStreamReader &reader = *t_reader;
    // Qt's buffers count in int: a larger document reads as one cut short.
    size = std::min<size_t>(size, 1u << 30);
    reader.clear();
    reader.setNamespaceProcessing(false);
    reader.addData(QByteArray::fromRawData(data, static_cast<int>(size)));
    // Entity declarations of a DTD outlive clear(), also those of a DTD that
    // broke off half-way or stood where none may: a reader that has seen a
    // DTD or an error is dropped, so no document changes how a later one
    // reads. addData copies: the copy of a large document is not kept either.
    struct Release {
        QXmlStreamReader &reader;
        bool large;
        bool dtd = false;
        ~Release()
        {
            if (dtd || reader.hasError())
                t_reader.reset();
            else if (large)
                reader.clear();
        }
    } release{reader, size > 65536};

    // Skip everything up to the first start element.
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            break;
        if (token == QXmlStreamReader::DTD)
            release.dtd = true;
    }
    auto failed = [&](const QString &why) {
        if (error)
            *error = why.toStdString();
        return false;
    };
    if (reader.tokenType() != QXmlStreamReader::StartElement)
        return reader.hasError() ? failed(reader.errorString()) : failed(QStringLiteral("no element"));

    std::vector<AttrMap::Entry> attrs;
    auto takeAttributes = [&](Message &target) {
        const QXmlStreamAttributes qattrs = reader.attributes();
        if (qattrs.isEmpty())
            return;
        attrs.clear();
        attrs.reserve(static_cast<size_t>(qattrs.size()));
        for (const QXmlStreamAttribute &a : qattrs)
            attrs.emplace_back(toUtf8(a.qualifiedName()), AttrValue(toUtf8(a.value())));
        target.attributes().assign(std::move(attrs));
        attrs = std::vector<AttrMap::Entry>();
    };

    std::string name;
    assignUtf8(name, reader.qualifiedName());
    node.setName(std::move(name));
    takeAttributes(node);

    // Iterative descent: the depth of hostile input must not reach the stack.
    std::vector<Message *> stack;
    stack.push_back(&node);
    while (!stack.empty() && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            // Deeper than any real message: stop as for a reader error.
            if (static_cast<int>(stack.size()) >= Message::MaxDepth)
                return failed(QStringLiteral("nested deeper than %1 levels").arg(Message::MaxDepth));
            Message &child = stack.back()->add_child(toUtf8(reader.qualifiedName()));
            takeAttributes(child);
            stack.push_back(&child);
            break;
        }
        case QXmlStreamReader::EndElement:
            stack.pop_back();
            break;
        case QXmlStreamReader::Characters:
            // The last text run wins, whitespace between children included.
            stack.back()->setValue(toUtf8(reader.text()));
            break;
        case QXmlStreamReader::DTD:
            release.dtd = true;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return failed(reader.errorString());
    return true;
}
