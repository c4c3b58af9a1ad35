#include "message.h"

#include "exception.h"
#include "logger.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// AttrValue

AttrValue AttrValue::fromInt(int32_t v)
{
    AttrValue a;
    a.setInt(v);
    return a;
}

AttrValue AttrValue::fromUInt(uint32_t v)
{
    AttrValue a;
    a.setUInt(v);
    return a;
}

AttrValue AttrValue::fromFloat(float v)
{
    AttrValue a;
    a.setFloat(v);
    return a;
}

AttrValue AttrValue::fromBool(bool v)
{
    AttrValue a;
    a.setBool(v);
    return a;
}

void AttrValue::setString(std::string s)
{
    m_kind = String;
    m_scalar.u = 0;
    m_string = std::move(s);
}

void AttrValue::setInt(int32_t v)
{
    m_kind = Int;
    m_string.clear();
    m_scalar.u = 0;
    m_scalar.i = v;
}

void AttrValue::setUInt(uint32_t v)
{
    m_kind = UInt;
    m_string.clear();
    m_scalar.u = v;
}

void AttrValue::setFloat(float v)
{
    m_kind = Float;
    m_string.clear();
    m_scalar.u = 0;
    m_scalar.f = v;
}

void AttrValue::setBool(bool v)
{
    m_kind = Bool;
    m_string.clear();
    m_scalar.u = 0;
    m_scalar.b = v;
}

void AttrValue::setNone()
{
    m_kind = None;
    m_string.clear();
    m_scalar.u = 0;
}

bool AttrValue::operator==(const AttrValue &o) const
{
    if (m_kind != o.m_kind)
        return false;
    switch (m_kind) {
    case None:
        return true;
    case String:
        return m_string == o.m_string;
    case Int:
        return m_scalar.i == o.m_scalar.i;
    case UInt:
        return m_scalar.u == o.m_scalar.u;
    case Float:
        // bit-wise, so that a NaN read back from a file equals itself
        return std::memcmp(&m_scalar.f, &o.m_scalar.f, sizeof(float)) == 0;
    case Bool:
        return m_scalar.b == o.m_scalar.b;
    }
    return false;
}

// Number texts are produced and read without the C locale: Qt sets the user's
// locale at start-up, and a decimal comma must never reach the wire.
void AttrValue::appendText(std::string &out) const
{
    char buf[64];
    switch (m_kind) {
    case None:
        return;
    case String:
        out += m_string;
        return;
    case Int: {
        auto r = std::to_chars(buf, buf + sizeof buf, m_scalar.i);
        out.append(buf, r.ptr);
        return;
    }
    case UInt: {
        auto r = std::to_chars(buf, buf + sizeof buf, m_scalar.u);
        out.append(buf, r.ptr);
        return;
    }
    case Float: {
        const float f = m_scalar.f;
        if (f < -FLT_MAX) {
            out += "-inf";
        } else if (f > FLT_MAX) {
            out += "inf";
        } else if (std::isnan(f)) {
            out += std::signbit(f) ? "-nan" : "nan";
        } else {
            // printf "%3f": six decimals of the value widened to double
            auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(f), std::chars_format::fixed, 6);
            out.append(buf, r.ptr);
        }
        return;
    }
    case Bool:
        out += m_scalar.b ? "true" : "false";
        return;
    }
}

std::string AttrValue::toString() const
{
    if (m_kind == String)
        return m_string;
    std::string s;
    appendText(s);
    return s;
}

namespace {

// Scans an integer the way scanf "%d"/"%u" does: leading blanks, an optional
// sign, decimal digits; no digits gives 0.
template <typename T>
T scanInteger(const std::string &text)
{
    const char *p = text.c_str();
    char *end = nullptr;
    errno = 0;
    if constexpr (std::is_signed_v<T>) {
        long long v = std::strtoll(p, &end, 10);
        if (end == p)
            return 0;
        return static_cast<T>(static_cast<uint32_t>(static_cast<unsigned long long>(v)));
    } else {
        unsigned long long v = std::strtoull(p, &end, 10);
        if (end == p)
            return 0;
        return static_cast<T>(v);
    }
}

float scanFloat(const std::string &text)
{
    if (text == "-inf")
        return -INFINITY;
    if (text == "inf")
        return INFINITY;
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    // from_chars would take a second sign; scanf does not
    if (p < end && (*p == '+' || *p == '-'))
        return 0.0f;
    float v = 0.0f;
    auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // too large gives infinity, too small zero, as strtof does
        double d = 0.0;
        std::from_chars(p, end, d, std::chars_format::general);
        v = (std::fabs(d) > 1.0) ? INFINITY : 0.0f;
    } else if (r.ec != std::errc()) {
        return 0.0f;
    }
    return negative ? -v : v;
}

} // namespace

int32_t AttrValue::toInt() const
{
    if (m_kind == Int)
        return m_scalar.i;
    if (m_kind == String)
        return scanInteger<int32_t>(m_string);
    return scanInteger<int32_t>(toString());
}

uint32_t AttrValue::toUInt() const
{
    if (m_kind == UInt)
        return m_scalar.u;
    if (m_kind == String)
        return scanInteger<uint32_t>(m_string);
    return scanInteger<uint32_t>(toString());
}

float AttrValue::toFloat() const
{
    if (m_kind == Float)
        return m_scalar.f;
    if (m_kind == String)
        return scanFloat(m_string);
    return scanFloat(toString());
}

bool AttrValue::toBool() const
{
    if (m_kind == Bool)
        return m_scalar.b;
    if (m_kind == String)
        return m_string == "true";
    return toString() == "true";
}

// ---------------------------------------------------------------------------
// AttrMap

namespace {

struct EntryKeyLess {
    bool operator()(const AttrMap::Entry &e, std::string_view key) const { return std::string_view(e.first) < key; }
    bool operator()(const AttrMap::Entry &a, const AttrMap::Entry &b) const { return a.first < b.first; }
};

} // namespace

const AttrValue *AttrMap::find(std::string_view key) const
{
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key, EntryKeyLess());
    if (it != m_entries.end() && it->first == key)
        return &it->second;
    return nullptr;
}

AttrValue *AttrMap::find(std::string_view key)
{
    return const_cast<AttrValue *>(static_cast<const AttrMap *>(this)->find(key));
}

AttrValue &AttrMap::slot(std::string_view key)
{
    // Most writers set keys in order: appending is the common case.
    if (m_entries.empty() || std::string_view(m_entries.back().first) < key) {
        m_entries.emplace_back(std::string(key), AttrValue());
        return m_entries.back().second;
    }
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key, EntryKeyLess());
    if (it != m_entries.end() && it->first == key)
        return it->second;
    it = m_entries.emplace(it, std::string(key), AttrValue());
    return it->second;
}

void AttrMap::assign(std::vector<Entry> &&entries)
{
    m_entries = std::move(entries);
    if (std::is_sorted(m_entries.begin(), m_entries.end(), EntryKeyLess())) {
        // sorted already; duplicates are still possible
        bool unique = std::adjacent_find(m_entries.begin(), m_entries.end(),
                                         [](const Entry &a, const Entry &b) { return a.first == b.first; })
                == m_entries.end();
        if (unique)
            return;
    }
    std::stable_sort(m_entries.begin(), m_entries.end(), EntryKeyLess());
    // keep the last of each run of equal keys
    std::vector<Entry> out;
    out.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (i + 1 < m_entries.size() && m_entries[i].first == m_entries[i + 1].first)
            continue;
        out.push_back(std::move(m_entries[i]));
    }
    m_entries = std::move(out);
}

// ---------------------------------------------------------------------------
// Message

Message::Message() = default;

Message::Message(std::string name)
    : m_name(std::move(name))
{
}

Message::Message(const Message &other)
{
    try {
        copyFrom(other);
    } catch (...) {
        // the destructor does not run for a half-built node
        clear_children();
        throw;
    }
}

Message::Message(Message &&other) noexcept
    : m_name(std::move(other.m_name))
    , m_value(std::move(other.m_value))
    , m_attrs(std::move(other.m_attrs))
    , m_children(std::move(other.m_children))
    , m_index(std::move(other.m_index))
{
    for (Message *child : m_children)
        child->m_parent = this;
    other.m_children.clear();
    other.m_index.clear();
}

Message &Message::operator=(const Message &other)
{
    if (this == &other)
        return *this;
    // Copy first: other may be a descendant of this node.
    Message copy(other);
    *this = std::move(copy);
    return *this;
}

Message &Message::operator=(Message &&other) noexcept
{
    if (this == &other)
        return *this;
    // Take other's contents before clearing: other may be one of our own
    // descendants, which clear_children() destroys.
    std::string name = std::move(other.m_name);
    m_value = std::move(other.m_value);
    m_attrs = std::move(other.m_attrs);
    std::vector<Message *> children = std::move(other.m_children);
    NameIndex index = std::move(other.m_index);
    other.m_children.clear();
    other.m_index.clear();
    clear_children();
    m_children = std::move(children);
    m_index = std::move(index);
    for (Message *child : m_children)
        child->m_parent = this;
    setName(std::move(name));
    return *this;
}

Message::~Message()
{
    clear_children();
}

void Message::copyFrom(const Message &other)
{
    m_name = other.m_name;
    m_value = other.m_value;
    m_attrs = other.m_attrs;
    m_index = other.m_index;
    m_children.reserve(other.m_children.size());
    for (const Message *child : other.m_children) {
        auto *copy = new Message(*child);
        copy->m_parent = this;
        m_children.push_back(copy);
    }
}

int Message::row() const
{
    if (!m_parent)
        return -1;
    const auto &siblings = m_parent->m_children;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == this)
            return static_cast<int>(i);
    }
    return -1;
}

void Message::setName(std::string name)
{
    if (!m_parent || name == m_name) {
        m_name = std::move(name);
        return;
    }
    const std::string oldName = std::move(m_name);
    m_name = std::move(name);
    m_parent->reindexChild(*this, oldName);
}

void Message::reindexChild(const Message &child, const std::string &oldName)
{
    // Search from the end: the decoders name a child right after appending it.
    int row = -1;
    for (size_t i = m_children.size(); i-- > 0;) {
        if (m_children[i] == &child) {
            row = static_cast<int>(i);
            break;
        }
    }
    if (row < 0)
        return;
    auto old = m_index.find(oldName);
    if (old != m_index.end()) {
        std::vector<int> &rows = old->second;
        auto pos = std::lower_bound(rows.begin(), rows.end(), row);
        if (pos != rows.end() && *pos == row)
            rows.erase(pos);
        if (rows.empty())
            m_index.erase(old);
    }
    auto it = m_index.find(child.m_name);
    if (it == m_index.end())
        it = m_index.emplace(child.m_name, std::vector<int>()).first;
    std::vector<int> &rows = it->second;
    rows.insert(std::upper_bound(rows.begin(), rows.end(), row), row);
}

void Message::clear_children()
{
    for (Message *child : m_children)
        delete child;
    m_children.clear();
    m_index.clear();
}

void Message::indexChild(const std::string &name, int row)
{
    auto it = m_index.find(name);
    if (it == m_index.end())
        it = m_index.emplace(name, std::vector<int>()).first;
    it->second.push_back(row);
}

const std::vector<int> *Message::rowsFor(std::string_view name) const
{
    auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : &it->second;
}

int Message::child_count(std::string_view name) const
{
    const std::vector<int> *rows = rowsFor(name);
    return rows ? static_cast<int>(rows->size()) : 0;
}

void Message::throwChildRow(int row, bool indexText)
{
    if (indexText)
        throw Exception("%s: Child index %d out of range", "get_child", row);
    throw Exception("%s: Child row %d out of range", "get_child", row);
}

void Message::throwChildName(std::string_view name, int n)
{
    throw Exception("%s: Failed to find '%.*s' #%d", "get_child", static_cast<int>(name.size()), name.data(), n);
}

Message &Message::get_child(int row)
{
    if (row < 0 || row >= child_count())
        throwChildRow(row, false);
    return *m_children[static_cast<size_t>(row)];
}

const Message &Message::get_child(int row) const
{
    if (row < 0 || row >= child_count())
        throwChildRow(row, true);
    return *m_children[static_cast<size_t>(row)];
}

Message *Message::find_child(std::string_view name, int n)
{
    const std::vector<int> *rows = rowsFor(name);
    if (!rows || n < 0 || n >= static_cast<int>(rows->size()))
        return nullptr;
    return m_children[static_cast<size_t>((*rows)[static_cast<size_t>(n)])];
}

const Message *Message::find_child(std::string_view name, int n) const
{
    return const_cast<Message *>(this)->find_child(name, n);
}

Message &Message::get_child(std::string_view name, int n)
{
    Message *child = find_child(name, n);
    if (!child)
        throwChildName(name, n);
    return *child;
}

const Message &Message::get_child(std::string_view name, int n) const
{
    const Message *child = find_child(name, n);
    if (!child)
        throwChildName(name, n);
    return *child;
}

Message &Message::get_child_by_attribute(std::string_view name, std::string_view key, std::string_view text)
{
    const std::vector<int> *rows = rowsFor(name);
    if (rows) {
        for (int row : *rows) {
            Message *child = m_children[static_cast<size_t>(row)];
            const AttrValue *a = child->m_attrs.find(key);
            if (a ? a->textEquals(text) : text.empty())
                return *child;
        }
    }
    throw Exception("%s: Failed to find '%.*s' where '%.*s' = '%.*s'", "get_child_by_attribute",
                    static_cast<int>(name.size()), name.data(), static_cast<int>(key.size()), key.data(),
                    static_cast<int>(text.size()), text.data());
}

const Message &Message::get_child_by_attribute(std::string_view name, std::string_view key, std::string_view text) const
{
    return const_cast<Message *>(this)->get_child_by_attribute(name, key, text);
}

Message &Message::add_child(std::string name)
{
    auto *child = new Message(std::move(name));
    child->m_parent = this;
    m_children.push_back(child);
    indexChild(child->m_name, static_cast<int>(m_children.size()) - 1);
    return *child;
}

Message &Message::append_copy(const Message &node)
{
    auto *child = new Message(node);
    child->m_parent = this;
    m_children.push_back(child);
    indexChild(child->m_name, static_cast<int>(m_children.size()) - 1);
    return *child;
}

Message &Message::append_move(Message &&node)
{
    auto *child = new Message(std::move(node));
    child->m_parent = this;
    m_children.push_back(child);
    indexChild(child->m_name, static_cast<int>(m_children.size()) - 1);
    return *child;
}

void Message::set_string(std::string_view key, std::string value)
{
    m_attrs.slot(key).setString(std::move(value));
}

void Message::set_int(std::string_view key, int32_t value)
{
    m_attrs.slot(key).setInt(value);
}

void Message::set_uint(std::string_view key, uint32_t value)
{
    m_attrs.slot(key).setUInt(value);
}

void Message::set_float(std::string_view key, float value)
{
    m_attrs.slot(key).setFloat(value);
}

void Message::set_bool(std::string_view key, bool value)
{
    m_attrs.slot(key).setBool(value);
}

void Message::set_attr(std::string_view key, AttrValue value)
{
    m_attrs.slot(key) = std::move(value);
}

std::string Message::get_string(std::string_view key, std::string_view def) const
{
    const AttrValue *a = m_attrs.find(key);
    return a ? a->toString() : std::string(def);
}

int32_t Message::get_int(std::string_view key, int32_t def) const
{
    const AttrValue *a = m_attrs.find(key);
    return a ? a->toInt() : def;
}

uint32_t Message::get_uint(std::string_view key, uint32_t def) const
{
    const AttrValue *a = m_attrs.find(key);
    return a ? a->toUInt() : def;
}

float Message::get_float(std::string_view key, float def) const
{
    const AttrValue *a = m_attrs.find(key);
    return a ? a->toFloat() : def;
}

bool Message::get_bool(std::string_view key, bool def) const
{
    const AttrValue *a = m_attrs.find(key);
    if (!a || a->kind() == AttrValue::None)
        return def;
    return a->toBool();
}

bool Message::isEmpty() const
{
    return m_name.empty() && m_value.empty() && m_attrs.empty() && m_children.empty();
}

bool Message::operator==(const Message &o) const
{
    if (m_name != o.m_name || m_value != o.m_value || !(m_attrs == o.m_attrs)
        || m_children.size() != o.m_children.size())
        return false;
    for (size_t i = 0; i < m_children.size(); ++i) {
        if (*m_children[i] != *o.m_children[i])
            return false;
    }
    return true;
}

void Message::dump(int level, int category, int depth) const
{
    if (Logger::instance().enabled(category, level))
        dumpNode(level, category, depth, row());
}

void Message::dumpNode(int level, int category, int depth, int row) const
{
    const std::string indent(static_cast<size_t>(std::max(depth, 0)), ' ');
    if (m_value.empty()) {
        Logger::instance().log(category, level, "%s%s\t\t\t(this=%p, parent=%p, row=%d, level=%d)", indent.c_str(),
                               m_name.c_str(), static_cast<const void *>(this), static_cast<const void *>(m_parent),
                               row, depth);
    } else {
        Logger::instance().log(category, level, "%s%s: %s\t\t\t(this=%p, parent=%p, row=%d, level=%d)",
                               indent.c_str(), m_name.c_str(), m_value.c_str(), static_cast<const void *>(this),
                               static_cast<const void *>(m_parent), row, depth);
    }
    for (const auto &entry : m_attrs)
        Logger::instance().log(category, level, "%s %s=%s", indent.c_str(), entry.first.c_str(),
                               entry.second.toString().c_str());
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->dumpNode(level, category, depth + 1, static_cast<int>(i));
}
