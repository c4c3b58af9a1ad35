// Decode and encode costs of the messages the codec really sends, in both
// encodings, against a bare QXmlStreamReader scan of the same bytes.
//
//   bench_encoding --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "ipcprotocol.h"
#include "message.h"
#include "sendbuffer.h"

#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <string>

namespace {

// <unso id="metering"><levels .../></unso>: eight levels, about 200 bytes.
std::string meteringXml()
{
    const char *names[] = {"rmlf", "rmrf", "tmlf", "tmrf", "rmls", "rmrs", "tmls", "tmrs"};
    std::string s = "<unso id=\"metering\"><levels";
    for (int i = 0; i < 8; ++i)
        s += std::string(" ") + names[i] + "=\"-" + std::to_string(10 + 3 * i) + ".250000\"";
    return s + "/></unso>";
}

// The answer to getPeerList with 20 peers, about 4 KB.
std::string peerListXml()
{
    std::string s = "<resp seq=\"peerList\">";
    for (int i = 1; i <= 20; ++i) {
        const std::string n = std::to_string(i);
        const bool active = i % 5 == 0;
        s += "<peer active=\"" + std::string(active ? "true" : "false") + "\" addr=\"10.1.0." + n
            + ":9000\" backup_id=\"0\" can_connect=\"true\" chan_state=\"" + (active ? "connected" : "idle")
            + "\" id=\"" + n + "\" name=\"Studio " + n + " &amp; Remote\" profile=\"" + std::to_string(i % 4)
            + "\" pw=\"\" retry_primary=\"false\" stored=\"true\" unit=\"" + std::to_string(i % 2) + "\"";
        if (active)
            s += " channel=\"0\" channels=\"2\" receiving=\"true\" rx_codec=\"Opus 128k\" state=\"Connected\" transmitting=\"true\"";
        s += "/>";
    }
    return s + "</resp>";
}

// The answer to getChannelOpts: 80 option records, half of them selects with
// choices, about 30 KB.
std::string channelOptsXml()
{
    std::string s = "<resp seq=\"channelOpts\">";
    for (int i = 0; i < 80; ++i) {
        const std::string n = std::to_string(i);
        const bool select = i % 2 == 0;
        s += "<option advanced=\"" + std::string(i % 3 ? "false" : "true") + "\" channel=\"" + std::to_string(i % 2)
            + "\" default=\"" + (select ? "b" : "64") + "\" descr=\"Describes setting " + n
            + " of the channel: what it changes, when it takes effect and which values make sense.\" display_name=\"Setting " + n + "\" max=\"1000\" min=\"0\" name=\"opt_"
            + n + "\" profile_opt=\"true\" type=\"" + (select ? "select" : "int") + "\" units=\"ms\"";
        if (!select) {
            s += "/>";
            continue;
        }
        s += ">";
        for (const char *c : {"a", "b", "c", "d", "e"})
            s += std::string("<select name=\"Choice ") + c + "\" value=\"" + c + "\"/>";
        s += "</option>";
    }
    return s + "</resp>";
}

struct Shape {
    std::string xml;     // as the codec sends it, without the 0x00
    std::string framed;  // xml + 0x00
    std::string compact; // the same tree in the compact form
    Message message;
};

const Shape &shape(int which)
{
    static const Shape shapes[3] = {
        [] { Shape s; s.xml = meteringXml(); return s; }(),
        [] { Shape s; s.xml = peerListXml(); return s; }(),
        [] { Shape s; s.xml = channelOptsXml(); return s; }(),
    };
    static bool ready = false;
    if (!ready) {
        for (auto &c : shapes) {
            Shape &s = const_cast<Shape &>(c);
            s.framed = s.xml + std::string(1, '\0');
            s.message.parse(s.xml);
            s.message.serialize(s.compact, Message::Compact);
        }
        ready = true;
    }
    return shapes[which];
}

const char *shapeName(int which)
{
    static const char *names[] = {"metering", "peerList20", "channelOpts80"};
    return names[which];
}

struct CountingHost : IPCProtocolHost {
    size_t delivered = 0;
    size_t bytes = 0;
    void fail(const std::string &) override {}
    SendBuffer sent;
    SendBuffer *send_buffer() override { return &sent; }
    void send_appended(size_t size) override
    {
        bytes += size;
        sent.clear();
    }
    void deliver(const Message &m) override
    {
        ++delivered;
        benchmark::DoNotOptimize(m.child_count());
    }
};

void report(benchmark::State &state, size_t bytes)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// bytes -> framed -> Message, as the transport does it
void xmlDecode(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    CountingHost host;
    IPCProtocolXMLS protocol(&host);
    for (auto _ : state)
        protocol.receive_data(s.framed.data(), s.framed.size());
    if (host.delivered != static_cast<size_t>(state.iterations()))
        state.SkipWithError("lost messages");
    report(state, s.framed.size());
}

// Message -> framed bytes handed to the connection
void xmlEncode(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    CountingHost host;
    IPCProtocolXMLS protocol(&host);
    for (auto _ : state)
        protocol.send(s.message);
    report(state, s.framed.size());
}

void compactDecode(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    for (auto _ : state) {
        Message m;
        m.parse(s.compact);
        benchmark::DoNotOptimize(m.child_count());
    }
    report(state, s.compact.size());
}

void compactEncode(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    std::string out;
    for (auto _ : state) {
        s.message.serialize(out, Message::Compact);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, s.compact.size());
}

size_t scan(QXmlStreamReader &reader)
{
    size_t sum = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            sum += static_cast<size_t>(reader.qualifiedName().size());
            for (const QXmlStreamAttribute &a : reader.attributes())
                sum += static_cast<size_t>(a.qualifiedName().size() + a.value().size()) + a.value().isEmpty();
            break;
        case QXmlStreamReader::Characters:
            sum += static_cast<size_t>(reader.text().size());
            break;
        default:
            break;
        }
    }
    return sum;
}

// The reference: a fresh reader per message, every token and attribute touched.
void bareScan(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    const QByteArray bytes = QByteArray::fromRawData(s.xml.data(), static_cast<int>(s.xml.size()));
    for (auto _ : state) {
        QXmlStreamReader reader(bytes);
        reader.setNamespaceProcessing(false);
        benchmark::DoNotOptimize(scan(reader));
    }
    report(state, s.framed.size());
}

// The same scan with one reader cleared between messages, as the decoder does.
void bareScanReused(benchmark::State &state, int which)
{
    const Shape &s = shape(which);
    const QByteArray bytes = QByteArray::fromRawData(s.xml.data(), static_cast<int>(s.xml.size()));
    QXmlStreamReader reader;
    for (auto _ : state) {
        reader.clear();
        reader.setNamespaceProcessing(false);
        reader.addData(bytes);
        benchmark::DoNotOptimize(scan(reader));
    }
    report(state, s.framed.size());
}

const int registered = [] {
    using Fn = void (*)(benchmark::State &, int);
    const std::pair<const char *, Fn> kinds[] = {
        {"XmlDecode", xmlDecode},         {"XmlEncode", xmlEncode},       {"CompactDecode", compactDecode},
        {"CompactEncode", compactEncode}, {"XmlBareScan", bareScan},      {"XmlBareScanReused", bareScanReused},
    };
    for (int which = 0; which < 3; ++which) {
        for (const auto &k : kinds) {
            const std::string name = std::string(k.first) + "/" + shapeName(which);
            benchmark::RegisterBenchmark(name.c_str(), k.second, which)->Unit(benchmark::kMicrosecond);
        }
    }
    return 0;
}();

} // namespace

BENCHMARK_MAIN();
