#include "winsim_p.h"

namespace WinSim {

Machine &machine()
{
    static Machine instance;
    return instance;
}

Window *Machine::window(HWND handle)
{
    for (Window &w : windows) {
        if (w.handle == handle)
            return &w;
    }
    return nullptr;
}

void reset()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.instances.clear();
    m.afterListSizeQuery = nullptr;
    m.disks.clear();
    m.failDeviceInfoSets = false;
    for (Volume &v : m.volumes)
        v = Volume();
    m.windows.clear();
    m.enumWindowsCalls = 0;
    m.clock = 0;
    m.holdSleepers = false;
    m.sleepReleased.notify_all();
    m.handles.clear();
    m.deviceInfoSets.clear();
    m.badReleases = 0;
    m.accessesRequested.clear();
}

DEVINST addDevice(const QString &instanceId, DEVINST parent)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    // Real device nodes are small non-zero numbers; these start higher so a stray index shows.
    const DEVINST node = DEVINST(0x100 + m.instances.size());
    m.instances.append({ instanceId, node, parent });
    return node;
}

void addRememberedDevice(const QString &instanceId)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.instances.append({ instanceId, 0, 0 });
}

void afterNextListSizeQuery(std::function<void()> change)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.afterListSizeQuery = std::move(change);
}

void addDisk(
    DEVINST node, const QString &devicePath, std::optional<DWORD> deviceNumber, Access access)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.disks.append({ node, devicePath, deviceNumber, access });
}

void failDeviceInfoSets(bool fail)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.failDeviceInfoSets = fail;
}

void addVolume(QChar letter, UINT driveType, std::optional<DWORD> deviceNumber, Access access)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const int index = letter.toUpper().unicode() - 'A';
    Q_ASSERT(index >= 0 && index < 26);
    m.volumes[index] = { driveType, deviceNumber, access };
}

HWND addWindow(const QString &title, WindowBehaviour behaviour, ULONGLONG appearsAt)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    Window w;
    w.handle = reinterpret_cast<HWND>(quintptr(0x20000 + 0x10 * m.windows.size()));
    w.title = title;
    w.behaviour = behaviour;
    w.appearsAt = appearsAt;
    m.windows.append(w);
    return w.handle;
}

bool isWindowOpen(HWND window)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const Window *w = m.window(window);
    return w && !w->closed && w->appearsAt <= m.clock;
}

QVector<SentMessage> messagesSentTo(HWND window)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const Window *w = m.window(window);
    return w ? w->received : QVector<SentMessage>();
}

int enumWindowsCalls()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.enumWindowsCalls;
}

ULONGLONG now()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.clock;
}

void holdSleepers(bool hold)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.holdSleepers = hold;
    m.sleepReleased.notify_all();
}

int heldSleepers()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.heldSleepers;
}

QVector<DWORD> accessesRequested(const QString &path)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.accessesRequested.value(path.toLower());
}

int openHandles()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.handles.size();
}

int openDeviceInfoSets()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.deviceInfoSets.size();
}

int badReleases()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.badReleases;
}

} // namespace WinSim
