#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/**
 * One typed attribute value. The kind is kept as it was stored; reading it as
 * another kind converts through the text form. The kind codes are part of the
 * compact wire format and never change.
 */
class AttrValue
{
public:
    enum Kind : uint8_t {
        None = 0,
        String = 1,
        Int = 2,
        UInt = 3,
        Float = 4,
        Bool = 5,
    };

    AttrValue() = default;
    explicit AttrValue(std::string s) : m_kind(String), m_string(std::move(s)) {}
    static AttrValue fromInt(int32_t v);
    static AttrValue fromUInt(uint32_t v);
    static AttrValue fromFloat(float v);
    static AttrValue fromBool(bool v);

    Kind kind() const { return m_kind; }

    /** The text form: "%d", "%u", "%3f" (with "inf"/"-inf"), "true"/"false", or the string. */
    std::string toString() const;
    /** Appends the text form to @p out (no temporary for the string kind). */
    void appendText(std::string &out) const;
    /** The text form without a copy for the string kind: a scalar's text goes into @p scratch. */
    const std::string &text(std::string &scratch) const { return m_kind == String ? m_string : (scratch = toString()); }
    /** Whether the text form is @p text (no copy for the string kind). */
    bool textEquals(std::string_view text) const { return m_kind == String ? m_string == text : toString() == text; }

    int32_t toInt() const;
    uint32_t toUInt() const;
    float toFloat() const;
    bool toBool() const;

    /** The stored string (empty for scalar kinds). */
    const std::string &stringValue() const { return m_string; }
    /** Raw scalar access for the compact encoding. */
    int32_t rawInt() const { return m_scalar.i; }
    uint32_t rawUInt() const { return m_scalar.u; }
    float rawFloat() const { return m_scalar.f; }
    bool rawBool() const { return m_scalar.b; }

    void setString(std::string s);
    void setInt(int32_t v);
    void setUInt(uint32_t v);
    void setFloat(float v);
    void setBool(bool v);
    void setNone();

    bool operator==(const AttrValue &o) const;
    bool operator!=(const AttrValue &o) const { return !(*this == o); }

private:
    Kind m_kind = None;
    union Scalar {
        int32_t i;
        uint32_t u;
        float f;
        bool b;
    } m_scalar{0};
    std::string m_string;
};

/**
 * Attributes of a node, kept in byte-wise key order (a key that is a prefix of
 * another sorts first). A sorted vector: nodes carry few attributes, and the
 * encoders walk them in order.
 */
class AttrMap
{
public:
    using Entry = std::pair<std::string, AttrValue>;
    using const_iterator = std::vector<Entry>::const_iterator;

    const AttrValue *find(std::string_view key) const;
    AttrValue *find(std::string_view key);
    /** Returns the value under @p key, creating it (kind none) when missing. */
    AttrValue &slot(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    /**
     * Replaces all attributes by @p entries, given in any order. For duplicate
     * keys the last one wins. Decoders use this so that hostile input with
     * many unsorted keys costs n log n, not n squared.
     */
    void assign(std::vector<Entry> &&entries);

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

    bool operator==(const AttrMap &o) const { return m_entries == o.m_entries; }

private:
    std::vector<Entry> m_entries;
};

/**
 * The tree-structured protocol message: a named node with a text value, typed
 * attributes and an ordered list of owned children. Children are also indexed
 * by name so that get_child(name, n) does not scan.
 *
 * Copies are deep. A copy has no parent.
 */
class Message
{
public:
    Message();
    explicit Message(std::string name);
    Message(const Message &other);
    Message(Message &&other) noexcept;
    Message &operator=(const Message &other);
    Message &operator=(Message &&other) noexcept;
    ~Message();

    // Name and value
    const std::string &name() const { return m_name; }
    /** Renames the node; a child stays reachable under its new name in its parent. */
    void setName(std::string name);
    const std::string &value() const { return m_value; }
    void setValue(std::string value) { m_value = std::move(value); }
    Message *parent() const { return m_parent; }
    /** This node's row in its parent, or -1 for a root. */
    int row() const;

    // Children
    int child_count() const { return static_cast<int>(m_children.size()); }
    int child_count(std::string_view name) const;
    Message &get_child(int row);
    const Message &get_child(int row) const;
    Message &get_child(std::string_view name, int n = 0);
    const Message &get_child(std::string_view name, int n = 0) const;
    Message &get_child_by_attribute(std::string_view name, std::string_view key, std::string_view text);
    const Message &get_child_by_attribute(std::string_view name, std::string_view key, std::string_view text) const;
    /** Non-throwing lookups: null when there is no such child. */
    Message *find_child(std::string_view name, int n = 0);
    const Message *find_child(std::string_view name, int n = 0) const;
    bool has_child(std::string_view name) const { return find_child(name) != nullptr; }
    /** Creates an empty child called @p name as the last row and returns it. */
    Message &add_child(std::string name);
    /** Appends a deep copy of @p node as the last row and returns the copy. */
    Message &append_copy(const Message &node);
    /** Appends @p node, moving its contents, as the last row and returns it. */
    Message &append_move(Message &&node);
    void clear_children();

    // Attributes: setters replace an existing attribute of the same name, kind included.
    void set_string(std::string_view key, std::string value);
    void set_int(std::string_view key, int32_t value);
    void set_uint(std::string_view key, uint32_t value);
    void set_float(std::string_view key, float value);
    void set_bool(std::string_view key, bool value);
    void set_attr(std::string_view key, AttrValue value);

    std::string get_string(std::string_view key, std::string_view def = {}) const;
    int32_t get_int(std::string_view key, int32_t def = 0) const;
    uint32_t get_uint(std::string_view key, uint32_t def = 0) const;
    float get_float(std::string_view key, float def = 0.0f) const;
    /** A missing attribute, or one of kind none, gives @p def. */
    bool get_bool(std::string_view key, bool def = false) const;
    const AttrValue *attr(std::string_view key) const { return m_attrs.find(key); }

    bool has_attribute(std::string_view key) const { return m_attrs.contains(key); }
    void remove_attributes() { m_attrs.clear(); }
    const AttrMap &attributes() const { return m_attrs; }
    AttrMap &attributes() { return m_attrs; }

    /** True when the node has no name, no value, no attributes and no children. */
    bool isEmpty() const;

    /** Deep structural equality (name, value, attributes with kinds, children). */
    bool operator==(const Message &o) const;
    bool operator!=(const Message &o) const { return !(*this == o); }

    // Encodings
    enum Format : int { Compact = 0, Xml = 1 };
    /**
     * Replaces this node's attributes and children with the message in
     * @p data and returns the detected format: 0 compact (first byte 0x00),
     * 1 XML (first byte '<' or 0x01, also for an empty buffer), otherwise the
     * first byte's value, with nothing parsed. A malformed compact buffer
     * throws Exception; malformed XML keeps what was read.
     */
    int parse(const char *data, size_t size);
    int parse(const std::string &data) { return parse(data.data(), data.size()); }
    /** Format 0: 0x00 then the compact encoding; format 1: an XML document. Other codes leave @p out as it is. */
    void serialize(std::string &out, int format, bool indent = false) const;
    /** Writes an indented XML document with its declaration; throws Exception when the file cannot be written. */
    void write_to_file(int format, const std::string &path) const;
    /** Reads a message file: XML when it begins with '<', otherwise through parse(). */
    void read_from_file(const std::string &path);

    /** Writes the tree to the library log, one line per node and per attribute. */
    void dump(int level, int category, int depth = 0) const;

    /**
     * Deepest nesting the decoders accept. Real messages are a few levels deep;
     * the limit keeps hostile input from exhausting the stack of the recursive
     * copy, compare and destroy operations.
     */
    static constexpr int MaxDepth = 256;

private:
    using NameIndex = std::map<std::string, std::vector<int>, std::less<>>;

    void copyFrom(const Message &other);
    void dumpNode(int level, int category, int depth, int row) const;
    void indexChild(const std::string &name, int row);
    void reindexChild(const Message &child, const std::string &oldName);
    const std::vector<int> *rowsFor(std::string_view name) const;
    [[noreturn]] static void throwChildRow(int row, bool indexText);
    [[noreturn]] static void throwChildName(std::string_view name, int n);

    Message *m_parent = nullptr;
    std::string m_name;
    std::string m_value;
    AttrMap m_attrs;
    std::vector<Message *> m_children;
    // Name index: rows of the children with each name, in row order, so a
    // lookup by name costs a tree search over distinct names, not a scan.
    NameIndex m_index;
};
