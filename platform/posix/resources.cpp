// The program's resources: a table of entries linked into the program
// (type, integer id or name, bytes), filled through layer_add_resource by
// the build's embedded assets or by a test. FindResourceA, SizeofResource,
// LoadResource, LockResource and FreeResource work on that table the way
// the program uses them: a loaded resource is the address of its bytes, and
// there is nothing to free.
#include <string.h>
#include <strings.h>

#include "platform/layer/kernel.h"

namespace {

constexpr int MAX_RESOURCES = 128;
constexpr size_t MAX_NAME = 64;

// A resource type or name: an integer id, or a string compared without case.
struct ResourceKey {
    WORD id;                // when name is empty
    char name[MAX_NAME];
};

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    const void* bytes;
    DWORD size;
};

struct ResourceTable {
    ResourceEntry entries[MAX_RESOURCES];
    int count;
};

// Function-local, so entries may be added from static initialisers.
ResourceTable& table() {
    static ResourceTable resources;
    return resources;
}

// The program's own module: GetModuleHandleA(NULL) returns its address.
char program_module;

// "#123" names the integer id 123, as on the platform.
bool make_key(LPCSTR text, ResourceKey* key) {
    memset(key, 0, sizeof *key);
    if (IS_INTRESOURCE(text)) {
        key->id = LOWORD(text);
        return true;
    }
    if (text[0] == '#') {
        unsigned long id = 0;
        const char* p = text + 1;
        if (*p == 0) return false;
        for (; *p; ++p) {
            if (*p < '0' || *p > '9' || id > 0xFFFF) return false;
            id = id * 10 + unsigned(*p - '0');
        }
        if (id > 0xFFFF) return false;
        key->id = WORD(id);
        return true;
    }
    const size_t length = strlen(text);
    if (length == 0 || length >= MAX_NAME) return false;
    memcpy(key->name, text, length + 1);
    return true;
}

bool same_key(const ResourceKey& a, const ResourceKey& b) {
    if (a.name[0] == 0 || b.name[0] == 0) return a.name[0] == 0 && b.name[0] == 0 && a.id == b.id;
    return strcasecmp(a.name, b.name) == 0;
}

ResourceEntry* entry_of(HRSRC handle) {
    ResourceTable& t = table();
    ResourceEntry* entry = reinterpret_cast<ResourceEntry*>(handle);
    if (entry < t.entries || entry >= t.entries + t.count) return nullptr;
    return entry;
}

bool is_program(HMODULE module) {
    return module == nullptr || module == reinterpret_cast<HMODULE>(&program_module);
}

}  // namespace

BOOL layer_add_resource(LPCSTR type, LPCSTR name, const void* bytes, DWORD size) {
    ResourceTable& t = table();
    if (t.count >= MAX_RESOURCES || type == nullptr || name == nullptr || (bytes == nullptr && size != 0))
        return FALSE;
    ResourceEntry& entry = t.entries[t.count];
    if (!make_key(type, &entry.type) || !make_key(name, &entry.name)) return FALSE;
    entry.bytes = bytes;
    entry.size = size;
    ++t.count;
    return TRUE;
}

// Only the program itself has a handle; other module names are not found.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName != nullptr) return nullptr;
    return reinterpret_cast<HMODULE>(&program_module);
}

// The latest entry with that type and name wins, so a test can shadow one.
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    if (!is_program(hModule) || lpName == nullptr || lpType == nullptr) return nullptr;
    ResourceKey name, type;
    if (!make_key(lpName, &name) || !make_key(lpType, &type)) return nullptr;
    ResourceTable& t = table();
    for (int i = t.count; i-- > 0;)
        if (same_key(t.entries[i].type, type) && same_key(t.entries[i].name, name))
            return reinterpret_cast<HRSRC>(&t.entries[i]);
    return nullptr;
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    const ResourceEntry* entry = is_program(hModule) ? entry_of(hResInfo) : nullptr;
    return entry ? entry->size : 0;
}

// The handle of a loaded resource is the address of its bytes.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    const ResourceEntry* entry = is_program(hModule) ? entry_of(hResInfo) : nullptr;
    return entry ? const_cast<void*>(entry->bytes) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

// Linked resources are never released; as on the platform, this does nothing.
BOOL WINAPI FreeResource(HGLOBAL /*hResData*/) { return FALSE; }
