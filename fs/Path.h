#pragma once

#include "base/String.h"

// A path on a volume: names separated by "/". One leading and then one
// trailing separator are dropped ("/a/b/" is a/b, "/" and "" are the root);
// anything else is taken as it stands, so a doubled separator makes an
// empty name that no record holds.
class Path {
public:
    static constexpr char16_t Separator = u'/';

    Path() = default;
    explicit Path(String const& text);

    // The names from the root down; none for the root.
    Vector<String> const& names() const { return m_names; }
    size_t depth() const { return m_names.size(); }
    bool is_root() const { return m_names.is_empty(); }
    // The last name ("" for the root).
    String leaf() const;
    // The directory that holds the leaf (the root for a top-level name).
    Path parent() const;
    // The first `count` names.
    Path prefix(size_t count) const;
    // Whether this is `ancestor` or lies below it, compared by whole names:
    // a/b lies below a, ab does not.
    bool is_same_or_below(Path const& ancestor) const;
    // The names joined by separators, without a leading one.
    String to_string() const;

private:
    Vector<String> m_names;
};
