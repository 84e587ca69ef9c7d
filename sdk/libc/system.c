/*
 * system.c: the system functions under the C library (newlib), each on the
 * kernel's calls of tessary_calls.h. newlib does all of stdio, malloc,
 * strings, maths and time conversion itself and asks the system only for
 * these: descriptors, the break, the clock, the end. A failure sets errno as
 * any hosted C program expects.
 */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <unistd.h>

#include "tessary.h"

/* The errno of each failure code: for a path, a bad argument is one the
   kernel could not take; for a handle, it is a handle that is not open. */
static int error_number(int failure, int bad_argument)
{
    switch (failure) {
    case TESSARY_BAD_ARGUMENT:
        return bad_argument;
    case TESSARY_NOT_FOUND:
        return ENOENT;
    case TESSARY_NO_MEMORY:
        return ENOMEM;
    case TESSARY_EXISTS:
        return EEXIST;
    case TESSARY_TOO_MANY:
        return EMFILE;
    case TESSARY_NOT_EMPTY:
        return ENOTEMPTY;
    case TESSARY_IS_DIRECTORY:
        return EISDIR;
    default:
        return EIO;
    }
}

static int on_path(int result)
{
    if (result >= 0)
        return result;
    errno = error_number(result, EINVAL);
    return -1;
}

static int on_handle(int result)
{
    if (result >= 0)
        return result;
    errno = error_number(result, EBADF);
    return -1;
}

int open(char const* path, int flags, ...)
{
    int access = flags & O_ACCMODE;
    unsigned call_flags = access == O_RDONLY ? TESSARY_OPEN_READ
        : access == O_WRONLY                 ? TESSARY_OPEN_WRITE
                                             : TESSARY_OPEN_READ | TESSARY_OPEN_WRITE;
    if (flags & O_CREAT)
        call_flags |= TESSARY_OPEN_CREATE;
    if (flags & O_TRUNC)
        call_flags |= TESSARY_OPEN_TRUNCATE;
    if (flags & O_APPEND)
        call_flags |= TESSARY_OPEN_APPEND;
    if (flags & O_EXCL)
        call_flags |= TESSARY_OPEN_EXCLUSIVE;
    return on_path(tessary_system_call(TESSARY_CALL_OPEN, (unsigned)path, call_flags, 0));
}

int close(int handle) { return on_handle(tessary_system_call(TESSARY_CALL_CLOSE, (unsigned)handle, 0, 0)); }

ssize_t read(int handle, void* buffer, size_t capacity)
{
    return on_handle(tessary_system_call(TESSARY_CALL_READ, (unsigned)handle, (unsigned)buffer, capacity));
}

ssize_t write(int handle, void const* data, size_t length)
{
    return on_handle(tessary_system_call(TESSARY_CALL_WRITE_HANDLE, (unsigned)handle, (unsigned)data, length));
}

off_t lseek(int handle, off_t offset, int origin)
{
    unsigned call_origin = origin == SEEK_CUR ? TESSARY_SEEK_CURRENT
        : origin == SEEK_END                  ? TESSARY_SEEK_END
                                              : TESSARY_SEEK_SET;
    return on_handle(tessary_system_call(TESSARY_CALL_SEEK, (unsigned)handle, (unsigned)offset, call_origin));
}

/* stdio gives each stream a buffer of st_blksize bytes: big enough that a
   program reading a large file in big pieces makes few calls, which each
   cost a trip to the disk's directory. */
#define FILE_BUFFER_SIZE (64 * 1024)

static void fill_stat(struct tessary_file_info const* info, struct stat* status)
{
    memset(status, 0, sizeof *status);
    status->st_size = info->size;
    status->st_mtime = info->modified;
    status->st_atime = info->modified;
    status->st_ctime = info->modified;
    status->st_nlink = 1;
    if (info->kind == TESSARY_KIND_DIRECTORY) {
        status->st_mode = S_IFDIR | 0755;
    } else if (info->kind == TESSARY_KIND_CONSOLE) {
        status->st_mode = S_IFCHR | 0666;
    } else {
        status->st_mode = S_IFREG | 0644;
        status->st_blksize = FILE_BUFFER_SIZE;
    }
}

int fstat(int handle, struct stat* status)
{
    struct tessary_file_info info;
    int result = on_handle(tessary_system_call(TESSARY_CALL_HANDLE_INFO, (unsigned)handle, (unsigned)&info, 0));
    if (result == 0)
        fill_stat(&info, status);
    return result;
}

int stat(char const* path, struct stat* status)
{
    struct tessary_file_info info;
    int result = on_path(tessary_system_call(TESSARY_CALL_PATH_INFO, (unsigned)path, (unsigned)&info, 0));
    if (result == 0)
        fill_stat(&info, status);
    return result;
}

int isatty(int handle)
{
    struct tessary_file_info info;
    if (tessary_system_call(TESSARY_CALL_HANDLE_INFO, (unsigned)handle, (unsigned)&info, 0) < 0) {
        errno = EBADF;
        return 0;
    }
    if (info.kind != TESSARY_KIND_CONSOLE) {
        errno = ENOTTY;
        return 0;
    }
    return 1;
}

int unlink(char const* path) { return on_path(tessary_system_call(TESSARY_CALL_REMOVE, (unsigned)path, 0, 0)); }

/* The file system has no second names for a file. */
int link(char const* existing, char const* name)
{
    (void)existing;
    (void)name;
    errno = EMLINK;
    return -1;
}

int rename(char const* from, char const* to)
{
    return on_path(tessary_system_call(TESSARY_CALL_RENAME, (unsigned)from, (unsigned)to, 0));
}

int mkdir(char const* path, mode_t mode)
{
    (void)mode;
    return on_path(tessary_system_call(TESSARY_CALL_MAKE_DIRECTORY, (unsigned)path, 0, 0));
}

int rmdir(char const* path) { return on_path(tessary_system_call(TESSARY_CALL_REMOVE, (unsigned)path, 0, 0)); }

void* sbrk(ptrdiff_t increment)
{
    unsigned old_break = (unsigned)tessary_break(0);
    if (increment == 0)
        return (void*)old_break;
    int result = tessary_break((void*)(old_break + (unsigned)increment));
    if (result < 0) {
        errno = ENOMEM;
        return (void*)-1;
    }
    return (void*)old_break;
}

void _exit(int status) { tessary_exit(status); }

/* One program runs: it is process 1, and a signal it sends itself with no
   handler ends it as a fault would, with 128 plus the signal's number. */
pid_t getpid(void) { return 1; }

int kill(int process, int signal)
{
    if (process != 1) {
        errno = ESRCH;
        return -1;
    }
    tessary_exit(128 + signal);
}

/* The clock's seconds; the kernel's clock has no finer grain. */
int gettimeofday(struct timeval* time, void* zone)
{
    (void)zone;
    time->tv_sec = (time_t)(unsigned)tessary_system_call(TESSARY_CALL_TIME, 0, 0, 0);
    time->tv_usec = 0;
    return 0;
}

/* clock() counts milliseconds from its first call, which sdk/start.c makes
   before main: the program's time is the machine's, as nothing else runs. */
clock_t times(struct tms* times)
{
    static unsigned start;
    static int started;
    unsigned now = tessary_milliseconds();
    if (!started) {
        start = now;
        started = 1;
    }
    clock_t ticks = (clock_t)(now - start);
    times->tms_utime = ticks;
    times->tms_stime = 0;
    times->tms_cutime = 0;
    times->tms_cstime = 0;
    return ticks;
}

/* No other program can be started from one: system() reports that no
   command processor is there. */
pid_t fork(void)
{
    errno = ENOSYS;
    return -1;
}

int execve(char const* path, char* const arguments[], char* const environment[])
{
    (void)path;
    (void)arguments;
    (void)environment;
    errno = ENOSYS;
    return -1;
}

pid_t wait(int* status)
{
    (void)status;
    errno = ECHILD;
    return -1;
}
