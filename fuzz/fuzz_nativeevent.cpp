// The native event filter on arbitrary window messages and device broadcasts, built with the
// simulated Windows headers. As Windows does, lParam points at a record of exactly the size its
// dbch_size states; the filter may read nothing beyond it.
#include "scratchfile.h"
#include "windetectorhelper.h"

#include <windows.h>

#include <dbt.h>

#include <QByteArray>
#include <cstring>
#include <memory>
#include <optional>

namespace {

template <typename T> T take(const uint8_t *&data, size_t &size)
{
    T value {};
    const size_t count = std::min(size, sizeof(T));
    std::memcpy(&value, data, count);
    data += count;
    size -= count;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Layout: flags, message, wParam, then the broadcast record.
    const auto flags = take<uint8_t>(data, size);
    MSG msg {};
    msg.message = take<UINT>(data, size);
    msg.wParam = take<WPARAM>(data, size);
    const bool nullRecord = flags & 1;
    const QByteArray eventType = flags & 2 ? QByteArrayLiteral("xcb_generic_event_t")
                                           : QByteArrayLiteral("windows_generic_MSG");

    // The record holds at least its size field, which states the record's size.
    const size_t recordSize = std::max(size, sizeof(DWORD));
    const auto record = std::make_unique<uint8_t[]>(recordSize);
    std::memcpy(record.get(), data, size);
    const DWORD statedSize = DWORD(recordSize);
    std::memcpy(record.get(), &statedSize, sizeof statedSize);
    msg.lParam = nullRecord ? 0 : reinterpret_cast<LPARAM>(record.get());

    WinDetectorHelper helper;
    std::optional<QChar> emitted;
    QObject::connect(&helper, &WinDetectorHelper::diskAppeared, &helper, [&](QChar letter) {
        FUZZ_CHECK(!emitted);
        emitted = letter;
    });
    const long untouched = 0x5a5a;
    long result = untouched;
    const bool consumed = helper.nativeEventFilter(eventType, &msg, &result);

    // Only a whole volume record in a volume arrival counts; everything else passes untouched.
    const auto *volume = reinterpret_cast<const DEV_BROADCAST_VOLUME *>(record.get());
    const bool arrival = eventType == "windows_generic_MSG" && msg.message == WM_DEVICECHANGE
        && msg.wParam == DBT_DEVICEARRIVAL && !nullRecord
        && recordSize >= offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) + sizeof(DWORD)
        && volume->dbcv_devicetype == DBT_DEVTYP_VOLUME;
    FUZZ_CHECK(consumed == arrival);
    FUZZ_CHECK(bool(emitted) == arrival);
    FUZZ_CHECK(result == (arrival ? 1 : untouched));
    if (arrival) {
        int index = 0;
        while (index < 26 && !(volume->dbcv_unitmask >> index & 1))
            ++index;
        FUZZ_CHECK(*emitted == QChar(u'A' + index));
    }
    return 0;
}
