/*
 * The whole binary interface between the manager and an emulator back end
 * ("Brevantix.dll", an ELF shared object on Linux). The manager, our own back
 * end and every test back end include this one header.
 *
 * Texts are NUL-terminated 8-bit strings in the locale's multibyte encoding.
 * List functions follow one protocol: called with (NULL, 0, slot) they return
 * the number of items; called with (buffer, capacity, slot) they write at most
 * `capacity` NUL-terminated texts, one per `slot`-byte slot, and return how
 * many they wrote. The slot size is always BREVANTIX_SLOT_SIZE.
 */
#ifndef BREVANTIX_H
#define BREVANTIX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BREVANTIX_LIBRARY_NAME "Brevantix.dll"
#define BREVANTIX_SLOT_SIZE 260u
#define BREVANTIX_ARCH_SIZE 32u
#define MAX_PERI 16

/* The record is exchanged by address and binds byte for byte; integers are
 * 32-bit little-endian. Reserved bytes are alignment padding: never written
 * by the manager. */
typedef struct GeneralOptions {
    char name[261];
    char arch[32];
    char target[261];
    char cpu[261];
    char reserved0[1];
    int32_t memSize;
    char memType[261];
    char tapAdapter[261];
    char reserved1[2];
    int32_t displayEnable;
} GeneralOptions;

typedef struct DiskOptions {
    int32_t sdSize;
    char sdMemType[261];
    char sdFile[261];
    char reserved0[2];
    int32_t hdSize;
    char hdMemType[261];
    char hdFile[261];
    char reserved1[2];
} DiskOptions;

typedef struct PeriEntry {
    char device[260];
    char param[260];
} PeriEntry;

typedef struct PeriOptions {
    int32_t serialEnable;
    char serialType[261];
    char serialParam[261];
    char reserved0[2];
    int32_t periCount;
    PeriEntry peris[MAX_PERI];
} PeriOptions;

typedef struct OsOptions {
    char osImage[261];
    char initrdImage[261];
    char cmdLine[1025];
    char reserved0[1];
} OsOptions;

typedef struct EmulatorOptions {
    GeneralOptions general;
    DiskOptions disk;
    PeriOptions peri;
    OsOptions os;
} EmulatorOptions;

#ifdef __cplusplus
#define BREVANTIX_ASSERT(cond) static_assert(cond, #cond)
#else
#define BREVANTIX_ASSERT(cond) _Static_assert(cond, #cond)
#endif

#define BREVANTIX_AT(type, field, offset) BREVANTIX_ASSERT(offsetof(type, field) == (offset))

BREVANTIX_ASSERT(sizeof(EmulatorOptions) == 12804);
BREVANTIX_ASSERT(sizeof(GeneralOptions) == 1348);
BREVANTIX_ASSERT(sizeof(DiskOptions) == 1056);
BREVANTIX_ASSERT(sizeof(PeriOptions) == 8852);
BREVANTIX_ASSERT(sizeof(OsOptions) == 1548);
BREVANTIX_ASSERT(sizeof(PeriEntry) == 520);
BREVANTIX_AT(EmulatorOptions, general, 0);
BREVANTIX_AT(EmulatorOptions, disk, 1348);
BREVANTIX_AT(EmulatorOptions, peri, 2404);
BREVANTIX_AT(EmulatorOptions, os, 11256);
/* Offsets within the whole record, as the back ends see them. */
BREVANTIX_AT(EmulatorOptions, general.name, 0);
BREVANTIX_AT(EmulatorOptions, general.arch, 261);
BREVANTIX_AT(EmulatorOptions, general.target, 293);
BREVANTIX_AT(EmulatorOptions, general.cpu, 554);
BREVANTIX_AT(EmulatorOptions, general.memSize, 816);
BREVANTIX_AT(EmulatorOptions, general.memType, 820);
BREVANTIX_AT(EmulatorOptions, general.tapAdapter, 1081);
BREVANTIX_AT(EmulatorOptions, general.displayEnable, 1344);
BREVANTIX_AT(EmulatorOptions, disk.sdSize, 1348);
BREVANTIX_AT(EmulatorOptions, disk.sdMemType, 1352);
BREVANTIX_AT(EmulatorOptions, disk.sdFile, 1613);
BREVANTIX_AT(EmulatorOptions, disk.hdSize, 1876);
BREVANTIX_AT(EmulatorOptions, disk.hdMemType, 1880);
BREVANTIX_AT(EmulatorOptions, disk.hdFile, 2141);
BREVANTIX_AT(EmulatorOptions, peri.serialEnable, 2404);
BREVANTIX_AT(EmulatorOptions, peri.serialType, 2408);
BREVANTIX_AT(EmulatorOptions, peri.serialParam, 2669);
BREVANTIX_AT(EmulatorOptions, peri.periCount, 2932);
BREVANTIX_AT(EmulatorOptions, peri.peris, 2936);
BREVANTIX_AT(EmulatorOptions, peri.peris[1], 2936 + 520);
BREVANTIX_AT(EmulatorOptions, peri.peris[15].param, 2936 + 520 * 15 + 260);
BREVANTIX_AT(EmulatorOptions, os.osImage, 11256);
BREVANTIX_AT(EmulatorOptions, os.initrdImage, 11517);
BREVANTIX_AT(EmulatorOptions, os.cmdLine, 11778);

/* The seventeen exports, looked up by these names. */
typedef uint32_t (*PFN_EnumAllEmulator)(const char* extra, char* buffer, uint32_t capacity,
                                        uint32_t slotSize);
typedef int32_t (*PFN_GetEmulatorOptions)(const char* name, EmulatorOptions* options);
typedef void (*PFN_SetEmulatorOptDefault)(const char* extra, EmulatorOptions* options);
typedef void (*PFN_SaveEmulatorOptions)(const EmulatorOptions* options);
typedef void (*PFN_DelEmulatorOptions)(const char* name, const char* arch);
typedef int32_t (*PFN_StartEmulator)(const char* name);
typedef uint32_t (*PFN_GetStartEmulatorErrInfo)(const char* name, char* buffer, uint32_t size);
typedef void (*PFN_GetArch)(const char* target, char* arch, uint32_t size);
typedef uint32_t (*PFN_GetEmulatorTarget)(const char* extra, char* buffer, uint32_t capacity,
                                          uint32_t slotSize);
typedef uint32_t (*PFN_GetEmulatorCPU)(const char* target, char* buffer, uint32_t capacity,
                                       uint32_t slotSize);
typedef uint32_t (*PFN_GetMemType)(char* buffer, uint32_t capacity, uint32_t slotSize);
typedef uint32_t (*PFN_RefreshTapNetWork)(char* buffer, uint32_t capacity, uint32_t slotSize);
typedef void (*PFN_InstallTapNetWork)(const char* version);
typedef void (*PFN_ReNameTapNetWork)(const char* oldName, const char* newName);
typedef uint32_t (*PFN_GetTapDrvVer)(char* buffer, uint32_t capacity, uint32_t slotSize);
typedef uint32_t (*PFN_GetSerialType)(char* buffer, uint32_t capacity, uint32_t slotSize);
typedef uint32_t (*PFN_GetPeriType)(char* buffer, uint32_t capacity, uint32_t slotSize);

/* Optional exports beyond the seventeen: a back end may leave any of them
 * out, and the manager then hides what it would offer. Looked up by name at
 * each call, like the others. */
#define BREVANTIX_STATE_STOPPED 0
#define BREVANTIX_STATE_RUNNING 1
#define BREVANTIX_STATE_PAUSED 2
/* Optional. BREVANTIX_STATE_* of the machine's emulator. */
typedef int32_t (*PFN_GetEmulatorState)(const char* name);
/* Optional. force 0 asks the guest to power off; 1 ends the emulator at once
 * (gone when the call returns). Non-zero when done or delivered; 0 for a
 * machine that is not running. */
typedef int32_t (*PFN_StopEmulator)(const char* name, int32_t force);
/* Optional. The machine's info text (process, log, serial console, running
 * or not), by the protocol of GetStartEmulatorErrInfo. */
typedef uint32_t (*PFN_GetEmulatorInfo)(const char* name, char* buffer, uint32_t size);
/* Optional. A descriptor, owned by the back end for as long as it is
 * loaded, that turns readable whenever a machine may have started or
 * stopped; the caller reads and discards what it holds, then asks the
 * states again. -1 when there is none. */
typedef int32_t (*PFN_GetEmulatorEventFd)(void);
/* Optional. Stores a copy of the stopped machine `from` as the new machine
 * `to`, with copies of the disk images it writes. 1 when done, 0 when not;
 * either way GetStartEmulatorErrInfo(to) gives the text that says why or
 * what the clone holds. */
typedef int32_t (*PFN_CloneEmulator)(const char* from, const char* to);

/* Declarations for back ends that implement the interface. */
#ifdef BREVANTIX_IMPLEMENTATION
#define BREVANTIX_EXPORT __attribute__((visibility("default")))
BREVANTIX_EXPORT uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity,
                                          uint32_t slotSize);
BREVANTIX_EXPORT int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options);
BREVANTIX_EXPORT void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options);
BREVANTIX_EXPORT void SaveEmulatorOptions(const EmulatorOptions* options);
BREVANTIX_EXPORT void DelEmulatorOptions(const char* name, const char* arch);
BREVANTIX_EXPORT int32_t StartEmulator(const char* name);
BREVANTIX_EXPORT uint32_t GetStartEmulatorErrInfo(const char* name, char* buffer, uint32_t size);
BREVANTIX_EXPORT void GetArch(const char* target, char* arch, uint32_t size);
BREVANTIX_EXPORT uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity,
                                            uint32_t slotSize);
BREVANTIX_EXPORT uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity,
                                         uint32_t slotSize);
BREVANTIX_EXPORT uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize);
BREVANTIX_EXPORT uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize);
BREVANTIX_EXPORT void InstallTapNetWork(const char* version);
BREVANTIX_EXPORT void ReNameTapNetWork(const char* oldName, const char* newName);
BREVANTIX_EXPORT uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize);
BREVANTIX_EXPORT uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize);
BREVANTIX_EXPORT uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize);
BREVANTIX_EXPORT int32_t GetEmulatorState(const char* name);            /* optional */
BREVANTIX_EXPORT int32_t StopEmulator(const char* name, int32_t force); /* optional */
BREVANTIX_EXPORT uint32_t GetEmulatorInfo(const char* name, char* buffer,
                                          uint32_t size);                 /* optional */
BREVANTIX_EXPORT int32_t GetEmulatorEventFd(void);                        /* optional */
BREVANTIX_EXPORT int32_t CloneEmulator(const char* from, const char* to); /* optional */
#endif

#ifdef __cplusplus
}
#endif

#endif /* BREVANTIX_H */
