#include "ViewModels/RescanSchedule.h"

#include <QTest>

// What the store lists again after its own moves, outside changes and rescans that came too late,
// and in which order.

using namespace Qt::StringLiterals;

namespace {

// "." is the collection's root, a name its category folder, "/x" a folder outside it.
QString pathOf(const QString &name)
{
    return name == u"."_s ? u"/photos"_s
           : name.startsWith(u'/') ? name
                                   : u"/photos/"_s + name;
}

QSet<QString> pathsOf(const QStringList &names)
{
    QSet<QString> paths;
    for (const QString &name : names) {
        paths.insert(pathOf(name));
    }
    return paths;
}

QString described(const std::optional<RescanSchedule::Batch> &batch)
{
    if (!batch) {
        return u"none"_s;
    }
    if (batch->scope == RescanScope::everything) {
        return u"everything"_s;
    }
    QStringList names;
    for (const QString &path : batch->folders) {
        names.append(path == u"/photos"_s ? u"."_s : path.mid(8));
    }
    names.sort();
    return (batch->scope == RescanScope::scan ? u"scan "_s : u"check "_s) + names.join(u' ');
}

} // namespace

class tst_RescanSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batches_data();
    void batches();
};

void tst_RescanSchedule::batches_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("taken"); // what each "take" gave
    // Steps: "mark a b", "move a>b" (a file from folder a into b), "changed a b",
    // "everything", "take", "late" (the last batch taken comes back), "clear".
    QTest::newRow("a move marks both of its folders")
        << QStringList{u"move .>Cats"_s, u"take"_s, u"take"_s}
        << QStringList{u"check . Cats"_s, u"none"_s};
    QTest::newRow("folders outside the collection are no concern")
        << QStringList{u"move Cats>/trash"_s, u"mark /elsewhere Gone"_s, u"take"_s}
        << QStringList{u"check Cats"_s};
    QTest::newRow("changed folders are listed before marked ones are checked")
        << QStringList{u"mark Dogs"_s, u"changed Cats"_s, u"take"_s, u"take"_s, u"take"_s}
        << QStringList{u"scan Cats"_s, u"check Dogs"_s, u"none"_s};
    QTest::newRow("everything takes all that was due")
        << QStringList{u"mark Dogs"_s, u"changed Cats"_s, u"everything"_s, u"take"_s, u"take"_s}
        << QStringList{u"everything"_s, u"none"_s};
    QTest::newRow("a late check is due again, with what was marked meanwhile")
        << QStringList{u"mark Cats"_s, u"take"_s, u"mark Dogs"_s, u"late"_s, u"take"_s}
        << QStringList{u"check Cats"_s, u"check Cats Dogs"_s};
    QTest::newRow("a late scan is listed again, not only checked")
        << QStringList{u"changed Cats"_s, u"take"_s, u"late"_s, u"take"_s}
        << QStringList{u"scan Cats"_s, u"scan Cats"_s};
    QTest::newRow("a late everything")
        << QStringList{u"everything"_s, u"take"_s, u"late"_s, u"take"_s}
        << QStringList{u"everything"_s, u"everything"_s};
    QTest::newRow("a newly opened collection starts clean")
        << QStringList{u"mark Cats"_s, u"changed Dogs"_s, u"everything"_s, u"clear"_s, u"take"_s}
        << QStringList{u"none"_s};
}

void tst_RescanSchedule::batches()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, taken);
    PhotoCollection collection;
    for (const QString &name : {u"."_s, u"Cats"_s, u"Dogs"_s}) {
        PhotoSection section;
        section.url = QUrl::fromLocalFile(pathOf(name));
        collection.sections.append(section);
    }
    RescanSchedule schedule;
    std::optional<RescanSchedule::Batch> last;
    QStringList got;
    for (const QString &step : steps) {
        const QStringList words = step.split(u' ');
        const QStringList names = words.mid(1);
        if (words[0] == u"mark"_s) {
            schedule.mark(pathsOf(names), collection);
        } else if (words[0] == u"move"_s) {
            const QStringList ends = names[0].split(u'>');
            const auto file = [](const QString &folder) {
                return QUrl::fromLocalFile(pathOf(folder) + u"/a.jpg"_s);
            };
            schedule.markMoves({FileMove{file(ends[0]), file(ends[1])}}, collection);
        } else if (words[0] == u"changed"_s) {
            schedule.noteChanged(pathsOf(names));
        } else if (words[0] == u"everything"_s) {
            schedule.markEverything();
        } else if (words[0] == u"late"_s) {
            schedule.putBack(*last);
        } else if (words[0] == u"clear"_s) {
            schedule.clear();
        } else {
            last = schedule.take();
            got.append(described(last));
        }
    }
    QCOMPARE(got, taken);
}

QTEST_APPLESS_MAIN(tst_RescanSchedule)
#include "tst_RescanSchedule.moc"
