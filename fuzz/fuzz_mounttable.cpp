// The mount-table parser and the new-mount comparison on arbitrary tables: the input is two
// tables, before and after, separated by the first zero byte.
#include "linux/mounttable.h"
#include "scratchfile.h"

namespace {

bool contains(const QVector<MountEntry> &entries, const MountEntry &entry)
{
    return std::any_of(entries.cbegin(), entries.cend(),
        [&entry](const MountEntry &other) { return other.sameMount(entry); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int zero = input.indexOf('\0');
    const QByteArray before = zero < 0 ? input : input.left(zero);
    const QByteArray after = zero < 0 ? QByteArray() : input.mid(zero + 1);

    const QVector<MountEntry> previous = parseMountTable(before);
    const QVector<MountEntry> current = parseMountTable(after);
    // One entry per line at most, and every entry names where it is mounted.
    FUZZ_CHECK(previous.size() <= before.count('\n') + 1);
    for (const QVector<MountEntry> *table : { &previous, &current }) {
        for (const MountEntry &entry : *table)
            FUZZ_CHECK(!entry.mountPoint.isEmpty() && entry.id >= 0 && entry.parentId >= 0);
    }

    const QVector<MountEntry> arrived = newMounts(previous, current);
    FUZZ_CHECK(arrived.size() <= current.size());
    for (const MountEntry &entry : arrived)
        FUZZ_CHECK(contains(current, entry) && !contains(previous, entry));
    for (const MountEntry &entry : current)
        FUZZ_CHECK(contains(arrived, entry) || contains(previous, entry));
    FUZZ_CHECK(newMounts(current, current).isEmpty());
    FUZZ_CHECK(newMounts({}, current).size() == current.size());

    // Unescaping only ever shortens a field, and a field without a backslash stays as it is.
    const QByteArray unescaped = unescapeMountField(before);
    FUZZ_CHECK(unescaped.size() <= before.size());
    if (!before.contains('\\'))
        FUZZ_CHECK(unescaped == before);
    return 0;
}
