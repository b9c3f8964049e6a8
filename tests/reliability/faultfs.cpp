// A pass-through FUSE file system over a backing folder that misbehaves as a volume can.
// Usage: faultfs FAULT[@KIB] /BACKING MOUNTPOINT [OUTSIDE]; KIB is the volume's size, of which
// the files in its root take their share.
// FAULT says what happens to the firmware being written (/firmware.new): none, create-erofs /
// write-enospc (read-only / full), write-64k (full after 64 KiB), fsync-eio, read-eio (reads
// fail once it was written; the kernel keeps its cache), detach-on-read (lazily unmounted at the
// first read after the write), slow-MS (each write takes MS more milliseconds); to the root
// folder: fsyncdir-eio; to /firmware.bin: unlink-eio (the delete is done, yet reported as
// failed), detach-on-unlink (lazily unmounted once it is deleted, its mount point left behind),
// plant-file / plant-link (its delete leaves a file or a link to OUTSIDE in its place),
// rename-eio (the new firmware cannot take its name). Dies with its parent.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace faultfs {
std::string backing, mountPoint, outside, fault;
long long sizeKiB = -1;
bool written = false;

std::string real(const char *path)
{
    return backing + path;
}
bool firmware(const char *path)
{
    return std::strcmp(path, "/firmware.bin") == 0;
}
bool newFirmware(const char *path)
{
    return std::strcmp(path, "/firmware.new") == 0;
}
int result(long rc)
{
    return rc < 0 ? -errno : int(rc);
}

void *init(fuse_conn_info *connection, fuse_config *config)
{
    if (fault == "read-eio") // else a changed mtime drops the pages anyway
        connection->want &= ~unsigned(FUSE_CAP_AUTO_INVAL_DATA);
    // Every read and stat must reach us: a cached page would hide the fault under test.
    config->direct_io = fault != "read-eio";
    config->attr_timeout = config->entry_timeout = config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

int getattr(const char *path, struct stat *st, fuse_file_info *fi)
{
    return result(fi ? ::fstat(int(fi->fh), st) : ::lstat(real(path).c_str(), st));
}

int readlink(const char *path, char *buffer, size_t size)
{
    const ssize_t n = ::readlink(real(path).c_str(), buffer, size - 1);
    buffer[n < 0 ? 0 : n] = '\0';
    return n < 0 ? -errno : 0;
}

int unlink(const char *path)
{
    if (::unlink(real(path).c_str()) != 0)
        return -errno;
    if (firmware(path) && fault == "plant-file")
        ::close(::open(real(path).c_str(), O_CREAT | O_WRONLY, 0644));
    if (firmware(path) && fault == "plant-link")
        ::symlink(outside.c_str(), real(path).c_str());
    if (firmware(path) && fault == "detach-on-unlink")
        ::umount2(mountPoint.c_str(), MNT_DETACH);
    return firmware(path) && fault == "unlink-eio" ? -EIO : 0;
}

int open(const char *path, fuse_file_info *fi, mode_t mode)
{
    const int fd = ::open(real(path).c_str(), fi->flags, mode);
    fi->fh = uint64_t(fd);
    fi->direct_io = fault != "read-eio";
    fi->keep_cache = !fi->direct_io;
    return fd < 0 ? -errno : 0;
}

int create(const char *path, mode_t mode, fuse_file_info *fi)
{
    return newFirmware(path) && fault == "create-erofs" ? -EROFS : open(path, fi, mode);
}

int rename(const char *from, const char *to, unsigned int flags)
{
    if (firmware(to) && fault == "rename-eio")
        return -EIO;
    return result(::renameat2(AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags));
}

int read(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    if (newFirmware(path) && written) {
        if (fault == "read-eio")
            return -EIO;
        if (fault == "detach-on-read")
            ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
    return result(::pread(int(fi->fh), buffer, size, offset));
}

int write(const char *path, const char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    if (newFirmware(path)) {
        written = true;
        if (fault.rfind("slow-", 0) == 0)
            ::usleep(useconds_t(std::atol(fault.c_str() + 5)) * 1000);
        const off_t room = fault == "write-enospc" ? 0
            : fault == "write-64k"                 ? 65536
                                                   : offset + off_t(size);
        if (offset >= room)
            return -ENOSPC;
        size = std::min(size, size_t(room - offset));
    }
    return result(::pwrite(int(fi->fh), buffer, size, offset));
}

int statfs(const char *path, struct statvfs *st)
{
    if (::statvfs(real(path).c_str(), st) != 0)
        return -errno;
    if (sizeKiB < 0)
        return 0;
    long long used = 0;
    if (DIR *dir = ::opendir(backing.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            struct stat file;
            if (::fstatat(::dirfd(dir), entry->d_name, &file, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISREG(file.st_mode))
                used += file.st_blocks * 512;
        }
        ::closedir(dir);
    }
    const long long room = std::max(0LL, sizeKiB * 1024 - used);
    st->f_bavail = st->f_bfree = fsblkcnt_t(room / static_cast<long long>(st->f_frsize));
    return 0;
}

int release(const char *, fuse_file_info *fi)
{
    return result(::close(int(fi->fh)));
}

int fsync(const char *path, int, fuse_file_info *fi)
{
    return newFirmware(path) && fault == "fsync-eio" ? -EIO : result(::fsync(int(fi->fh)));
}

int fsyncdir(const char *path, int, fuse_file_info *)
{
    return std::strcmp(path, "/") == 0 && fault == "fsyncdir-eio" ? -EIO : 0;
}
} // namespace faultfs

int main(int argc, char *argv[])
{
    using namespace faultfs;
    if (argc < 4 || argv[2][0] != '/')
        return 2;
    fault = argv[1];
    if (fault.find('@') != std::string::npos) {
        sizeKiB = std::atoll(fault.c_str() + fault.find('@') + 1);
        fault.resize(fault.find('@'));
    }
    backing = argv[2];
    mountPoint = argv[3];
    outside = argc > 4 ? argv[4] : "";
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);

    fuse_operations ops {};
    ops.init = init;
    ops.getattr = getattr;
    ops.readlink = faultfs::readlink;
    ops.unlink = faultfs::unlink;
    ops.open = [](const char *path, fuse_file_info *fi) { return faultfs::open(path, fi, 0); };
    ops.create = create;
    ops.rename = faultfs::rename;
    ops.read = faultfs::read;
    ops.write = faultfs::write;
    ops.statfs = faultfs::statfs;
    ops.release = release;
    ops.fsync = faultfs::fsync;
    ops.fsyncdir = fsyncdir;
    char foreground[] = "-f", single[] = "-s", options[] = "-o", name[] = "fsname=faultfs";
    char *fuseArgs[] = { argv[0], foreground, single, options, name, argv[3], nullptr };
    // The test kills the server once it detached the volume: a leak check at exit would race it.
    ::_exit(fuse_main(6, fuseArgs, &ops, nullptr));
}
