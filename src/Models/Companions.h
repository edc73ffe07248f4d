#pragma once

// Companions: the files that belong to one shot. A camera set to RAW+JPEG writes IMG_0005.CR3
// and IMG_0005.JPG; editors add sidecars beside them (IMG_0005.xmp, IMG_0005.CR3.xmp, .pp3,
// .dop, a phone's .AAE, an export's IMG_0005.JPG.json). A shot is the images of one folder
// that share a stem (the name up to its last dot, ignoring letter case and Unicode
// normalization) together with their sidecars, and it is filed, trashed and undone as one.
// Pure functions, safe on any thread.

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// What kind of picture a file holds, in the order a person would rather look at it: the shot's
// shown member is the one of lowest kind: a Live Photo's still before its video. `none` is every
// file that is neither an image nor a video.
enum class ImageKind : quint8 { none, jpeg, modern, lossless, other, raw, video };

// Together: one photo per shot. Apart: one photo per image; a sidecar follows the image whose
// whole name it extends (x.jpg.xmp), or the image of its stem when exactly one has it.
enum class CompanionRule : quint8 { together, apart };

namespace Companions {

// The form in which two file names count as the same ("IMG_1.JPG" and "img_1.jpg" do).
QString nameKey(const QString &name);
// A hash of nameKey(name), without making the key for most names. Equal for names that count as
// the same; sets of hashes stand for sets of keys where a folder holds 100,000 names.
size_t nameHash(const QString &name);

// True for the extensions editors and cameras write beside a photo (xmp, pp3, dop, aae, thm,
// json), whatever their letter case.
bool isSidecarName(const QString &name);

struct ListedFile
{
    QString name;
    ImageKind kind = ImageKind::none;
};

// The shots of one folder's files: indices into `files`, the shown member first, then the
// other images (by kind, then name), then the sidecars (by name). Files in no shot (orphan
// sidecars, anything else that is not an image) are left out. Shots come in listing order of
// their shown members.
QList<QList<qsizetype>> group(const QList<ListedFile> &files, CompanionRule rule);

// Which sidecars group() puts in a shot, told from hashes of the images' names alone, for a
// folder visited one entry at a time without holding its names. Every image is added before
// the first question. A hash shared by chance can only turn an answer into a wrong "changed".
class SidecarOwners
{
public:
    // What a sidecar is matched by; small enough to keep one for each sidecar of a folder.
    struct Sidecar
    {
        size_t extendedHash = 0; // of the name the sidecar's name extends
        bool json = false;
    };
    static Sidecar sidecar(const QString &name);

    explicit SidecarOwners(CompanionRule rule);
    void addImage(const QString &name);
    bool hasOwner(Sidecar sidecar);

private:
    CompanionRule m_rule;
    bool m_sorted = true;
    std::vector<size_t> m_names;
    std::vector<size_t> m_stems;
};

// The names of a shot's members with " n" inserted after their shared stem, so that every
// member keeps its partner's stem ("IMG 2.JPG", "IMG 2.CR3", "IMG 2.CR3.xmp"). Number 1
// leaves the names as they are.
QStringList pairedNames(const QStringList &names, int number);

// What travels with the shown member, for the cell's badge: "RAW+JPG", "+XMP", "RAW+JPG+XMP",
// "LIVE" for a still with its video, or empty for a photo on its own. `names` and `kinds` list the
// members, shown first.
QString badge(const QStringList &names, const QList<ImageKind> &kinds);

} // namespace Companions
