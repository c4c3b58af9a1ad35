// The XML form of a Message, written and read with Qt's XML stream classes.

#include "message.h"
#include "messagecodec.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <vector>

namespace {

QString qs(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

void appendUtf8(std::string &out, const QStringRef &ref)
{
    const QByteArray bytes = ref.toUtf8();
    out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string utf8(const QStringRef &ref)
{
    std::string s;
    appendUtf8(s, ref);
    return s;
}

void writeNode(QXmlStreamWriter &writer, const Message &node, std::string &scratch)
{
    writer.writeStartElement(qs(node.name()));
    for (const auto &entry : node.attributes()) {
        scratch.clear();
        entry.second.appendText(scratch);
        writer.writeAttribute(qs(entry.first), qs(scratch));
    }
    for (int row = 0; row < node.child_count(); ++row)
        writeNode(writer, node.get_child(row), scratch);
    writer.writeEndElement();
}

} // namespace

void MessageCodec::writeXml(const Message &node, std::string &out, bool declaration, bool indent)
{
    QByteArray bytes;
    {
        QXmlStreamWriter writer(&bytes);
        writer.setAutoFormatting(indent);
        if (declaration)
            writer.writeStartDocument();
        std::string scratch;
        writeNode(writer, node, scratch);
        if (declaration)
            writer.writeEndDocument();
    }
    out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void MessageCodec::readXml(Message &node, const char *data, size_t size)
{
    QXmlStreamReader reader(QByteArray::fromRawData(data, static_cast<int>(size)));
    reader.setNamespaceProcessing(false);

    // Skip everything up to the first start element.
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            break;
    }
    if (reader.tokenType() != QXmlStreamReader::StartElement)
        return;

    // Iterative descent: the depth of hostile input must not reach the stack.
    std::vector<Message *> stack;
    std::vector<AttrMap::Entry> attrs;
    auto takeAttributes = [&](Message &target) {
        const QXmlStreamAttributes qattrs = reader.attributes();
        if (qattrs.isEmpty())
            return;
        attrs.clear();
        attrs.reserve(static_cast<size_t>(qattrs.size()));
        for (const QXmlStreamAttribute &a : qattrs)
            attrs.emplace_back(utf8(a.qualifiedName()), AttrValue(utf8(a.value())));
        target.attributes().assign(std::move(attrs));
        attrs = std::vector<AttrMap::Entry>();
    };

    node.setName(utf8(reader.qualifiedName()));
    takeAttributes(node);
    stack.push_back(&node);

    while (!stack.empty() && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (static_cast<int>(stack.size()) >= Message::MaxDepth)
                return;
            Message &child = stack.back()->add_child(utf8(reader.qualifiedName()));
            takeAttributes(child);
            stack.push_back(&child);
            break;
        }
        case QXmlStreamReader::EndElement:
            stack.pop_back();
            break;
        case QXmlStreamReader::Characters:
            stack.back()->setValue(utf8(reader.text()));
            break;
        default:
            break;
        }
    }
}
