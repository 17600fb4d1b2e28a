#include "buildid.h"

#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Note entries are padded to 4 bytes.
size_t Aligned(size_t bytes) { return (bytes + 3) & ~size_t{3}; }

// The GNU build id among the notes of [begin, end), or empty.
std::string FindBuildId(const uint8_t* begin, const uint8_t* end)
{
    const uint8_t* at = begin;
    while (end - at >= static_cast<std::ptrdiff_t>(sizeof(ElfW(Nhdr)))) {
        ElfW(Nhdr) note;
        std::memcpy(&note, at, sizeof note);
        const uint8_t* name = at + sizeof note;
        const uint8_t* desc = name + Aligned(note.n_namesz);
        if (desc > end || end - desc < static_cast<std::ptrdiff_t>(note.n_descsz)) {
            break;
        }
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
            std::string hex;
            for (uint32_t i = 0; i < note.n_descsz; ++i) {
                char digits[3];
                std::snprintf(digits, sizeof digits, "%02x", desc[i]);
                hex += digits;
            }
            return hex;
        }
        at = desc + Aligned(note.n_descsz);
    }
    return {};
}

// The first object dl_iterate_phdr lists is the program itself.
int ReadProgramNotes(dl_phdr_info* info, size_t, void* found)
{
    auto* id = static_cast<std::string*>(found);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && id->empty(); ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_NOTE) {
            const auto* notes = reinterpret_cast<const uint8_t*>(info->dlpi_addr + header.p_vaddr);
            *id = FindBuildId(notes, notes + header.p_memsz);
        }
    }
    return 1;
}

}  // namespace

std::string ProgramBuildId()
{
    std::string id;
    dl_iterate_phdr(&ReadProgramNotes, &id);
    return id.empty() ? "unknown" : id;
}
