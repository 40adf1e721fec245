// A disk that fills up on demand: an SQLite VFS over the default one that answers SQLITE_FULL to every
// write once a budget of successful writes is used up. Installed as the default VFS for the life of the
// object, so every store the library opens meanwhile goes through it. One at a time; not thread-safe.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>

namespace vexaqr::test {

class FullDiskVfs {
public:
    FullDiskVfs() {
        _real = sqlite3_vfs_find(nullptr);
        _vfs = *_real;
        _vfs.zName = "vexaqr-full-disk";
        _vfs.szOsFile = static_cast<int>(sizeof(File)) + _real->szOsFile;
        _vfs.xOpen = &open;
        _vfs.pAppData = this;
        active() = this;
        sqlite3_vfs_register(&_vfs, 1);
    }
    ~FullDiskVfs() {
        sqlite3_vfs_unregister(&_vfs);
        sqlite3_vfs_register(_real, 1);
        active() = nullptr;
    }
    FullDiskVfs(const FullDiskVfs&) = delete;
    FullDiskVfs& operator=(const FullDiskVfs&) = delete;

    /// From now on, `writes` more writes succeed and the rest find the disk full; nothing: no limit.
    void allowWrites(std::optional<std::int64_t> writes) {
        _budget = writes.value_or(-1);
        _refused = 0;
    }

    /// Writes refused since the last allowWrites().
    std::int64_t refused() const { return _refused; }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
    };

    static FullDiskVfs*& active() {
        static FullDiskVfs* instance = nullptr;
        return instance;
    }

    static sqlite3_file* real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

    static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
        auto* self = static_cast<FullDiskVfs*>(vfs->pAppData);
        auto* wrapper = reinterpret_cast<File*>(file);
        wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
        wrapper->base.pMethods = nullptr;
        const int status = self->_real->xOpen(self->_real, name, wrapper->real, flags, outFlags);
        if (wrapper->real->pMethods)
            wrapper->base.pMethods = &kMethods;
        return status;
    }

    static int write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
        FullDiskVfs* self = active();
        if (self && self->_budget >= 0) {
            if (self->_budget == 0) {
                ++self->_refused;
                return SQLITE_FULL;
            }
            --self->_budget;
        }
        return real(file)->pMethods->xWrite(real(file), data, amount, offset);
    }

    static int close(sqlite3_file* file) {
        const int status = real(file)->pMethods->xClose(real(file));
        file->pMethods = nullptr;
        return status;
    }

    // Everything but writing and closing goes straight to the real file.
    static constexpr sqlite3_io_methods kMethods{
        3,
        &close,
        [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), d, n, o); },
        &write,
        [](sqlite3_file* f, sqlite3_int64 size) { return real(f)->pMethods->xTruncate(real(f), size); },
        [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); },
        [](sqlite3_file* f, sqlite3_int64* size) { return real(f)->pMethods->xFileSize(real(f), size); },
        [](sqlite3_file* f, int lock) { return real(f)->pMethods->xLock(real(f), lock); },
        [](sqlite3_file* f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); },
        [](sqlite3_file* f, int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); },
        [](sqlite3_file* f, int op, void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); },
        [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); },
        [](sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
        [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
            return real(f)->pMethods->xShmMap(real(f), page, size, extend, out);
        },
        [](sqlite3_file* f, int offset, int n, int flags) {
            return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
        },
        [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); },
        [](sqlite3_file* f, int deleteFlag) { return real(f)->pMethods->xShmUnmap(real(f), deleteFlag); },
        // No memory-mapped reads: every page then comes through xRead above.
        [](sqlite3_file*, sqlite3_int64, int, void** out) {
            *out = nullptr;
            return SQLITE_OK;
        },
        [](sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; },
    };

    sqlite3_vfs* _real = nullptr;
    sqlite3_vfs _vfs{};
    std::int64_t _budget = -1;
    std::int64_t _refused = 0;
};

} // namespace vexaqr::test
