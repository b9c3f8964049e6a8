// A pass-through file system over a backing folder that fails on demand, for tests of what the
// updater does when the volume misbehaves. Usage:
//   faultfs [--fail-reads-after-write] BACKING MOUNTPOINT
// With --fail-reads-after-write every read of /firmware.bin returns EIO once the file was written.
// Each read of /firmware.bin is logged on stderr ("read OFFSET SIZE -> RESULT"), so a test can
// tell that the read-back reached the volume and not a cache. Runs in the foreground, single
// threaded, and dies with its parent so a crashed test leaves no server behind.
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
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace faultfs {
std::string backing;
bool failReadsAfterWrite = false;
bool firmwareWritten = false;
const char firmwareName[] = "/firmware.bin";

std::string real(const char *path)
{
    return backing + path;
}

bool isFirmware(const char *path)
{
    return std::strcmp(path, firmwareName) == 0;
}

int result(int rc)
{
    return rc < 0 ? -errno : rc;
}

void *init(fuse_conn_info *, fuse_config *config)
{
    // Every read and every stat must reach us: a cached page would hide the fault under test.
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->auto_cache = 0;
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

int mknod(const char *path, mode_t mode, dev_t device)
{
    return result(::mknod(real(path).c_str(), mode, device));
}

int mkdir(const char *path, mode_t mode)
{
    return result(::mkdir(real(path).c_str(), mode));
}

int unlink(const char *path)
{
    return result(::unlink(real(path).c_str()));
}

int rmdir(const char *path)
{
    return result(::rmdir(real(path).c_str()));
}

int symlink(const char *target, const char *path)
{
    return result(::symlink(target, real(path).c_str()));
}

int rename(const char *from, const char *to, unsigned int flags)
{
    if (flags)
        return -EINVAL;
    return result(::rename(real(from).c_str(), real(to).c_str()));
}

int chmod(const char *path, mode_t mode, fuse_file_info *)
{
    return result(::chmod(real(path).c_str(), mode));
}

int chown(const char *path, uid_t uid, gid_t gid, fuse_file_info *)
{
    return result(::lchown(real(path).c_str(), uid, gid));
}

int truncate(const char *path, off_t size, fuse_file_info *fi)
{
    return result(fi ? ::ftruncate(int(fi->fh), size) : ::truncate(real(path).c_str(), size));
}

int utimens(const char *path, const timespec times[2], fuse_file_info *)
{
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int create(const char *path, mode_t mode, fuse_file_info *fi)
{
    const int fd = ::open(real(path).c_str(), fi->flags, mode);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    fi->direct_io = 1;
    return 0;
}

int open(const char *path, fuse_file_info *fi)
{
    return create(path, 0, fi);
}

int read(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    int rc;
    if (isFirmware(path) && failReadsAfterWrite && firmwareWritten) {
        rc = -EIO;
    } else {
        const ssize_t n = ::pread(int(fi->fh), buffer, size, offset);
        rc = n < 0 ? -errno : int(n);
    }
    if (isFirmware(path))
        std::fprintf(stderr, "read %lld %zu -> %d\n", (long long)offset, size, rc);
    return rc;
}

int write(const char *path, const char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    const ssize_t n = ::pwrite(int(fi->fh), buffer, size, offset);
    if (n < 0)
        return -errno;
    if (isFirmware(path))
        firmwareWritten = true;
    return int(n);
}

int statfs(const char *path, struct statvfs *st)
{
    return result(::statvfs(real(path).c_str(), st));
}

int release(const char *, fuse_file_info *fi)
{
    ::close(int(fi->fh));
    return 0;
}

int fsync(const char *, int dataOnly, fuse_file_info *fi)
{
    return result(dataOnly ? ::fdatasync(int(fi->fh)) : ::fsync(int(fi->fh)));
}
} // namespace faultfs

int main(int argc, char *argv[])
{
    int at = 1;
    if (at < argc && std::strcmp(argv[at], "--fail-reads-after-write") == 0) {
        faultfs::failReadsAfterWrite = true;
        ++at;
    }
    if (argc - at != 2) {
        std::fprintf(stderr, "usage: %s [--fail-reads-after-write] BACKING MOUNTPOINT\n", argv[0]);
        return 2;
    }
    // The server leaves the working folder, so a relative backing path would point elsewhere.
    char *absolute = ::realpath(argv[at], nullptr);
    if (!absolute) {
        std::perror(argv[at]);
        return 1;
    }
    faultfs::backing = absolute;
    std::free(absolute);
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return 1;
    std::setvbuf(stderr, nullptr, _IONBF, 0);

    fuse_operations ops {};
    ops.init = faultfs::init;
    ops.getattr = faultfs::getattr;
    ops.readlink = faultfs::readlink;
    ops.readdir = faultfs::readdir;
    ops.mknod = faultfs::mknod;
    ops.mkdir = faultfs::mkdir;
    ops.unlink = faultfs::unlink;
    ops.rmdir = faultfs::rmdir;
    ops.symlink = faultfs::symlink;
    ops.rename = faultfs::rename;
    ops.chmod = faultfs::chmod;
    ops.chown = faultfs::chown;
    ops.truncate = faultfs::truncate;
    ops.utimens = faultfs::utimens;
    ops.open = faultfs::open;
    ops.create = faultfs::create;
    ops.read = faultfs::read;
    ops.write = faultfs::write;
    ops.statfs = faultfs::statfs;
    ops.release = faultfs::release;
    ops.fsync = faultfs::fsync;

    char foreground[] = "-f";
    char single[] = "-s";
    char options[] = "-o";
    char fsname[] = "fsname=faultfs,subtype=faultfs";
    char *fuseArgs[] = { argv[0], foreground, single, options, fsname, argv[at + 1], nullptr };
    return fuse_main(6, fuseArgs, &ops, nullptr);
}
