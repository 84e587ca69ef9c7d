#include "fs/Path.h"

Path::Path(String const& text)
{
    String trimmed = text;
    if (!trimmed.is_empty() && trimmed[0] == Separator)
        trimmed = trimmed.substring(1);
    if (!trimmed.is_empty() && trimmed[trimmed.length() - 1] == Separator)
        trimmed = trimmed.substring(0, trimmed.length() - 1);
    if (!trimmed.is_empty())
        m_names = trimmed.split(Separator);
}

String Path::leaf() const { return is_root() ? String() : m_names[m_names.size() - 1]; }

Path Path::parent() const { return prefix(is_root() ? 0 : m_names.size() - 1); }

Path Path::prefix(size_t count) const
{
    Path path;
    for (size_t i = 0; i < count && i < m_names.size(); ++i)
        path.m_names.append(m_names[i]);
    return path;
}

bool Path::is_same_or_below(Path const& ancestor) const
{
    if (m_names.size() < ancestor.m_names.size())
        return false;
    for (size_t i = 0; i < ancestor.m_names.size(); ++i) {
        if (m_names[i] != ancestor.m_names[i])
            return false;
    }
    return true;
}

String Path::to_string() const
{
    String text;
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (i > 0)
            text.append(Separator);
        text.append(m_names[i]);
    }
    return text;
}
