// VornHandleTable: the record table behind every resource class.
//
// A table is one array of records from the work area; a handle is a record's index and
// VORN_INVALID_HANDLE means none. Every record is a plain struct that begins with
//     uint8_t inUse;
// and, for the counted kinds,
//     uint32_t refCount;
// and, for the named kinds (which are always counted),
//     char name[VORN_RECORD_NAME_SIZE];
// The table finds these members by name; a record without refCount is destroyed by its first
// release. The owning class supplies the function that lets go of a record's objects (Direct3D
// objects, buffers) before the record is cleared.
//
//     struct VornThingRecord { uint8_t inUse; uint32_t refCount; char name[256]; IThing* thing; };
//     static void DestroyThing(VornThingRecord& r) { if (r.thing) r.thing->Release(); }
//     static VornHandleTable<VornThingRecord> s_table(DestroyThing, "Thing Destroy [ No.%u ]");
#pragma once
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

using VornHandle = uint32_t;
constexpr VornHandle VORN_INVALID_HANDLE = 0xFFFFFFFFu;
constexpr uint32_t VORN_RECORD_NAME_SIZE = 256;   // with the terminator
constexpr uint32_t VORN_DEFAULT_TABLE_SIZE = 64;

namespace vorn_detail {
template <typename R, typename = void> struct HasRefCount : std::false_type {};
template <typename R>
struct HasRefCount<R, std::void_t<decltype(std::declval<R&>().refCount)>> : std::true_type {};
template <typename R, typename = void> struct HasName : std::false_type {};
template <typename R>
struct HasName<R, std::void_t<decltype(std::declval<R&>().name)>> : std::true_type {};
}  // namespace vorn_detail

template <typename Record>
class VornHandleTable
{
public:
    static constexpr bool kCounted = vorn_detail::HasRefCount<Record>::value;
    static constexpr bool kNamed = vorn_detail::HasName<Record>::value;
    static_assert(std::is_trivially_copyable<Record>::value && std::is_standard_layout<Record>::value,
                  "records are plain data, cleared with zero bytes");
    static_assert(offsetof(Record, inUse) == 0 && sizeof(std::declval<Record&>().inUse) == 1,
                  "every record begins with its u8 in-use flag");
    static_assert(!kNamed || kCounted, "named records are counted");

    using DestroyFunc = void (*)(Record& record);

    // destroy: lets go of the record's objects (may be null); destroyLine: the Finalize line for
    // each record still alive, with the handle as %u (may be null for no line).
    constexpr VornHandleTable(DestroyFunc destroy, const char* destroyLine)
        : destroy_(destroy), destroyLine_(destroyLine)
    {
    }
    VornHandleTable(const VornHandleTable&) = delete;
    VornHandleTable& operator=(const VornHandleTable&) = delete;

    // Capacity for the next Initialize; 0 means the default of 64. Ignored while allocated.
    void SetMax(uint32_t capacity)
    {
        if (!records_) capacity_ = capacity;
    }
    uint32_t GetMax() const { return capacity_ ? capacity_ : VORN_DEFAULT_TABLE_SIZE; }
    bool IsInitialized() const { return records_ != nullptr; }

    // Allocates the cleared table from the work area, tagged with the owner's file and line.
    bool Initialize(const char* file, int32_t line)
    {
        if (records_) return true;
        const uint32_t count = GetMax();
        if (count > 0xFFFFFFFFu / sizeof(Record)) return false;
        void* block = VornMemory::AllocZero(count * static_cast<uint32_t>(sizeof(Record)),
                                            VornMemory::DEFAULT_TAG, file, line);
        if (!block) return false;
        records_ = static_cast<Record*>(block);
        count_ = walk_ = count;
        return true;
    }

    // The usual start of a class's Initialize: the title, the strong line "<subject>用メモリ確保",
    // the table, and on failure the red line "　　　<subject>用メモリの確保に失敗".
    bool InitializeLogged(const char* title, const char* subject, const char* file, int32_t line)
    {
        VornLog::Title("%s", title);
        VornLog::Strong("%s用メモリ確保", subject);
        VornLog::LineBreak();
        if (Initialize(file, line)) return true;
        VornLog::StrongRed("　　　%s用メモリの確保に失敗", subject);
        VornLog::LineBreak();
        return false;
    }

    // Forces every count to 1 and releases every record, with the destroy line for each that was
    // alive; then the table goes back to the work area. Nothing happens without a table.
    void Finalize()
    {
        if (!records_) return;
        for (uint32_t i = 0; i < count_; ++i) {
            const bool live = records_[i].inUse != 0;
            if constexpr (kCounted) {
                if (live) records_[i].refCount = 1;
            }
            if (ReleaseRecord(i) && live && destroyLine_) {
                VornLog::StrongRed(destroyLine_, i);
                VornLog::LineBreak();
            }
        }
        VornMemory::Free(records_);
        records_ = nullptr;
        count_ = walk_ = 0;
    }

    // After Initialize: later searches (AllocRecord, FindByName) stop at the first `bound` records,
    // never beyond those allocated. Finalize still walks every allocated record.
    void LimitWalk(uint32_t bound)
    {
        if (records_) walk_ = bound < count_ ? bound : count_;
    }

    // The lowest free record, in use with count 1; none when every record is taken.
    VornHandle AllocRecord()
    {
        for (uint32_t i = 0; i < walk_; ++i) {
            if (!records_[i].inUse) {
                ClearRecord(i);
                records_[i].inUse = 1;
                if constexpr (kCounted) records_[i].refCount = 1;
                return i;
            }
        }
        return VORN_INVALID_HANDLE;
    }

    // Zeroes the record (not in use, empty name) without touching its objects.
    void ClearRecord(VornHandle handle)
    {
        if (Valid(handle)) memset(static_cast<void*>(&records_[handle]), 0, sizeof(Record));
    }

    void AddRef(VornHandle handle)
    {
        if constexpr (kCounted) {
            if (Live(handle)) ++records_[handle].refCount;
        }
    }

    // One reference less; at zero the record's objects are let go and the record is cleared.
    // False for none or a record not in use.
    bool ReleaseRecord(VornHandle handle)
    {
        if (!Live(handle)) return false;
        if constexpr (kCounted) {
            if (records_[handle].refCount > 1) {
                --records_[handle].refCount;
                return true;
            }
        }
        if (destroy_) destroy_(records_[handle]);
        ClearRecord(handle);
        return true;
    }

    // ReleaseRecord with the two release lines: the operation name in red, then the handle and
    // the references left (0 once destroyed).
    bool Release(VornHandle handle, const char* operationName)
    {
        if (!ReleaseRecord(handle)) return false;
        VornLog::StrongRed("%s", operationName);
        VornLog::Print(" : [ No.%u ] [Reference %u]", handle, GetRefCount(handle));
        VornLog::LineBreak();
        return true;
    }

    // The lowest live record whose name equals the string byte for byte; none when there is none.
    VornHandle FindByName(const char* name) const
    {
        if constexpr (kNamed) {
            if (!name) return VORN_INVALID_HANDLE;
            for (uint32_t i = 0; i < walk_; ++i) {
                if (records_[i].inUse && strncmp(records_[i].name, name, VORN_RECORD_NAME_SIZE) == 0)
                    return i;
            }
        }
        return VORN_INVALID_HANDLE;
    }

    // Loading by file name, for the named kinds. A live record of that name gets one more
    // reference ("Already Existed"). Otherwise the file's bytes (VornFile::Load: loose files, the
    // pack, LZSS unwrapped) go to create(data, size), which returns the new handle; the new record
    // is then named after the first loose file found for the name, else the name as given, so
    // that only pack-only names are found again by a second load.
    template <typename CreateFn>
    VornHandle LoadByFileName(uint32_t kind, const char* name, CreateFn create)
    {
        const VornHandle found = FindByName(name);
        if (found != VORN_INVALID_HANDLE) {
            AddRef(found);
            VornLog::Print("[ No.%u ] : Already Existed : ", found);
            VornLog::StrongGreen("Success");
            VornLog::LineBreak();
            return found;
        }
        void* data = nullptr;
        uint32_t size = 0;
        if (!name || !VornFile::Load(kind, name, &data, &size)) {
            VornLog::StrongRed("ファイルの読み込みに失敗しました");
            VornLog::LineBreak();
            return VORN_INVALID_HANDLE;
        }
        const VornHandle handle = create(static_cast<const void*>(data), size);
        VornMemory::Free(data);
        if (handle != VORN_INVALID_HANDLE) {
            char path[VORN_RECORD_NAME_SIZE] = {};
            SetName(handle, VornFile::FindFilePath(kind, path, name) ? path : name);
        }
        return handle;
    }

    // Stores a name in a record, cut to 255 characters.
    void SetName(VornHandle handle, const char* name)
    {
        if constexpr (kNamed) {
            if (!Valid(handle)) return;
            char* out = records_[handle].name;
            size_t n = name ? strlen(name) : 0;
            if (n >= VORN_RECORD_NAME_SIZE) n = VORN_RECORD_NAME_SIZE - 1;
            if (n) memcpy(out, name, n);
            out[n] = '\0';
        }
    }

    uint32_t GetRefCount(VornHandle handle) const
    {
        if (!Live(handle)) return 0;
        if constexpr (kCounted) return records_[handle].refCount;
        return 1;
    }

    // One field of a live record; fallback for none or a free record.
    template <typename T>
    T GetField(VornHandle handle, T Record::*field, T fallback = T()) const
    {
        return Live(handle) ? records_[handle].*field : fallback;
    }

    // The record of a handle within the table (null for none or beyond the capacity).
    Record* Get(VornHandle handle) { return Valid(handle) ? &records_[handle] : nullptr; }
    const Record* Get(VornHandle handle) const { return Valid(handle) ? &records_[handle] : nullptr; }
    // The record of a live handle; null otherwise.
    Record* GetLive(VornHandle handle) { return Live(handle) ? &records_[handle] : nullptr; }
    const Record* GetLive(VornHandle handle) const { return Live(handle) ? &records_[handle] : nullptr; }

    // GetLive for an operation: a handle that is neither live nor none is named in the log.
    Record* GetLiveLogged(VornHandle handle, const char* operationName)
    {
        if (Live(handle)) return &records_[handle];
        if (handle != VORN_INVALID_HANDLE) {
            VornLog::StrongBlue("%s", operationName);
            VornLog::Print(" : [ No.%u ] : ", handle);
            VornLog::StrongRed("使われていないハンドルです");
            VornLog::LineBreak();
        }
        return nullptr;
    }

    bool Valid(VornHandle handle) const { return records_ && handle < count_; }
    bool Live(VornHandle handle) const { return Valid(handle) && records_[handle].inUse; }
    uint32_t Count() const { return count_; }   // records allocated (0 without a table)
    Record& operator[](uint32_t index) { return records_[index]; }
    const Record& operator[](uint32_t index) const { return records_[index]; }

private:
    Record* records_ = nullptr;
    uint32_t count_ = 0;
    uint32_t walk_ = 0;       // records searched by AllocRecord and FindByName
    uint32_t capacity_ = 0;
    DestroyFunc destroy_;
    const char* destroyLine_;
};

// The record operations of a table class, as its own static members over the one table that
// Class::Table() gives. The class befriends this base and names its release lines:
//     class VornThing : public VornTableClass<VornThing, VornThingRecord> {
//         friend VornTableClass;
//         static VornHandleTable<VornThingRecord>& Table();
//         static constexpr const char* kReleaseName = "VornThing::Release";
//     public: ...
template <typename Class, typename Record>
class VornTableClass
{
public:
    static void SetMax(uint32_t capacity) { Class::Table().SetMax(capacity); }   // before Initialize; 0 = 64
    static VornHandle AllocRecord() { return Class::Table().AllocRecord(); }
    static void ClearRecord(VornHandle handle) { Class::Table().ClearRecord(handle); }
    static bool ReleaseRecord(VornHandle handle) { return Class::Table().ReleaseRecord(handle); }
    static void Release(VornHandle handle) { Class::Table().Release(handle, Class::kReleaseName); }
    static void AddRef(VornHandle handle) { Class::Table().AddRef(handle); }
    static VornHandle FindByName(const char* name) { return Class::Table().FindByName(name); }
    static uint32_t GetRefCount(VornHandle handle) { return Class::Table().GetRefCount(handle); }
    static const Record* GetRecord(VornHandle handle) { return Class::Table().GetLive(handle); }   // null unless live
};
