#include "PhotoSection.h"

QString rawValue(PhotoSectionKind kind)
{
    return kind == PhotoSectionKind::unsorted ? QStringLiteral("unsorted")
                                              : QStringLiteral("category");
}

size_t qHash(const PhotoSection &section, size_t seed)
{
    return qHashMulti(seed, section.id, int(section.kind), section.url, section.name,
                      section.photos);
}
