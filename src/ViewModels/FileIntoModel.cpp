#include "FileIntoModel.h"

#include "Models/NaturalOrder.h"

bool FileIntoModel::setText(const QString &text)
{
    if (m_text == text) {
        return false;
    }
    m_text = text;
    return true;
}

bool FileIntoModel::close()
{
    return std::exchange(m_text, std::nullopt).has_value();
}

QList<PhotoSection> FileIntoModel::matches(const QList<PhotoSection> &sections) const
{
    return m_text ? matchingCategories(sections, *m_text) : QList<PhotoSection>();
}

QList<PhotoSection> FileIntoModel::matchingCategories(const QList<PhotoSection> &sections,
                                                      const QString &typed)
{
    const QString needle = foldedForSorting(typed.trimmed());
    if (needle.isEmpty()) {
        return {};
    }
    QList<PhotoSection> groups[3]; // prefix, word start, anywhere
    for (const PhotoSection &section : sections) {
        if (section.kind != PhotoSectionKind::category) {
            continue;
        }
        const QString name = foldedForSorting(section.name);
        const qsizetype at = name.indexOf(needle);
        if (at < 0) {
            continue;
        }
        if (at == 0) {
            groups[0].append(section);
            continue;
        }
        bool wordStart = false;
        for (qsizetype i = at; i >= 0 && !wordStart; i = name.indexOf(needle, i + 1)) {
            wordStart = !name[i - 1].isLetterOrNumber();
        }
        groups[wordStart ? 1 : 2].append(section);
    }
    return groups[0] + groups[1] + groups[2];
}
