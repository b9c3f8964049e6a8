// A pass-through FUSE file system over a backing folder that misbehaves as a volume can, for
// tests of what the updater does then. Usage: faultfs FAULT BACKING MOUNTPOINT [OUTSIDE]
// FAULT names what happens to /firmware.bin:
//   none           nothing
//   create-erofs   creating it fails: the volume turned read-only after the delete
//   write-enospc   every write fails: full after the delete
//   write-64k      writes beyond 64 KiB fail: only part of the image fits
//   fsync-eio      fsync fails
//   fsyncdir-eio   fsync of the root folder fails
//   read-eio-cached
//                  as read-eio, but the kernel may answer reads from its page cache
//   read-eio       reads fail once it was written
//   detach-on-read the server lazily unmounts the volume at the first read after the write
//   exit-on-read   the server dies at the first read after the write, as a pulled stick
//   plant-file, plant-dir, plant-link
//                  its delete leaves a file, a folder or a link to OUTSIDE in its place
// Single threaded, in the foreground; dies with its parent.
#define FUSE_USE_VERSION 31

#include <fuse.h>

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
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace faultfs {
std::string backing, mountPoint, outside, fault;
bool written = false;

std::string real(const char *path)
{
    return backing + path;
}
bool firmware(const char *path)
{
    return std::strcmp(path, "/firmware.bin") == 0;
}
int result(int rc)
{
    return rc < 0 ? -errno : rc;
}

void *init(fuse_conn_info *, fuse_config *config)
{
    // Every read and stat must reach us: a cached page would hide the fault under test.
    config->direct_io = fault != "read-eio-cached";
    config->kernel_cache = 0;
    config->attr_timeout = 0;
    config->entry_timeout = 0;
    config->negative_timeout = 0;
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
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *,
    fuse_readdir_flags)
{
    DIR *dir = ::opendir(real(path).c_str());
    if (!dir)
        return -errno;
    while (const dirent *entry = ::readdir(dir))
        fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags(0));
    ::closedir(dir);
    return 0;
}

int unlink(const char *path)
{
    if (::unlink(real(path).c_str()) != 0)
        return -errno;
    if (firmware(path) && fault == "plant-file")
        ::close(::open(real(path).c_str(), O_CREAT | O_WRONLY, 0644));
    else if (firmware(path) && fault == "plant-dir")
        ::mkdir(real(path).c_str(), 0755);
    else if (firmware(path) && fault == "plant-link")
        ::symlink(outside.c_str(), real(path).c_str());
    return 0;
}

int open(const char *path, fuse_file_info *fi, mode_t mode = 0)
{
    const int fd = ::open(real(path).c_str(), fi->flags, mode);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    fi->direct_io = fault != "read-eio-cached";
    fi->keep_cache = !fi->direct_io;
    return 0;
}

int create(const char *path, mode_t mode, fuse_file_info *fi)
{
    return firmware(path) && fault == "create-erofs" ? -EROFS : open(path, fi, mode);
}

int read(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    if (firmware(path) && written) {
        if (fault == "read-eio" || fault == "read-eio-cached")
            return -EIO;
        if (fault == "exit-on-read")
            ::_exit(0);
        if (fault == "detach-on-read")
            ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
    const ssize_t n = ::pread(int(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : int(n);
}

int write(const char *path, const char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    if (firmware(path)) {
        written = true;
        if (fault == "write-enospc" || (fault == "write-64k" && offset >= 64 * 1024))
            return -ENOSPC;
        if (fault == "write-64k" && offset + off_t(size) > 64 * 1024)
            size = size_t(64 * 1024 - offset);
    }
    const ssize_t n = ::pwrite(int(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : int(n);
}

int statfs(const char *path, struct statvfs *st)
{
    return result(::statvfs(real(path).c_str(), st));
}

int release(const char *, fuse_file_info *fi)
{
    return result(::close(int(fi->fh)));
}

int fsync(const char *path, int dataOnly, fuse_file_info *fi)
{
    if (firmware(path) && fault == "fsync-eio")
        return -EIO;
    return result(dataOnly ? ::fdatasync(int(fi->fh)) : ::fsync(int(fi->fh)));
}
int fsyncdir(const char *path, int, fuse_file_info *)
{
    return std::strcmp(path, "/") == 0 && fault == "fsyncdir-eio" ? -EIO : 0;
}
} // namespace faultfs

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FAULT BACKING MOUNTPOINT [OUTSIDE]\n", argv[0]);
        return 2;
    }
    using namespace faultfs;
    fault = argv[1];
    char *absolute = ::realpath(argv[2], nullptr);
    if (!absolute)
        return 1;
    backing = absolute;
    std::free(absolute);
    mountPoint = argv[3];
    outside = argc > 4 ? argv[4] : "";
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);

    fuse_operations ops {};
    ops.init = faultfs::init;
    ops.getattr = faultfs::getattr;
    ops.readlink = faultfs::readlink;
    ops.readdir = faultfs::readdir;
    ops.unlink = faultfs::unlink;
    ops.open = [](const char *path, fuse_file_info *fi) { return faultfs::open(path, fi); };
    ops.create = faultfs::create;
    ops.read = faultfs::read;
    ops.write = faultfs::write;
    ops.statfs = faultfs::statfs;
    ops.release = faultfs::release;
    ops.fsync = faultfs::fsync;
    ops.fsyncdir = faultfs::fsyncdir;

    char foreground[] = "-f", single[] = "-s", options[] = "-o";
    char fsname[] = "fsname=faultfs,subtype=faultfs";
    char *fuseArgs[] = { argv[0], foreground, single, options, fsname, argv[3], nullptr };
    return fuse_main(6, fuseArgs, &ops, nullptr);
}
