#include "update/ExecutableVersion.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace tvc::update {
namespace {
bool ReadAt(std::ifstream& in, std::uint64_t offset, void* out, std::size_t size) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    return in.read(static_cast<char*>(out), static_cast<std::streamsize>(size)).good();
}
}  // namespace

bool ReadExecutableFileVersion(const std::string& executablePath, std::string& version) {
    std::ifstream in(executablePath, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !ReadAt(in, 0, &header, sizeof header)) return false;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0 || header.e_shnum > 4096 || header.e_shstrndx >= header.e_shnum)
        return false;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!ReadAt(in, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)))
        return false;
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > (1u << 20)) return false;
    std::vector<char> nameTable(names.sh_size);
    if (!ReadAt(in, names.sh_offset, nameTable.data(), nameTable.size())) return false;
    nameTable.back() = '\0';
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= nameTable.size() ||
            std::strcmp(&nameTable[section.sh_name], kVersionSectionName) != 0)
            continue;
        if (section.sh_size == 0 || section.sh_size > 64 || section.sh_type == SHT_NOBITS)
            return false;
        std::string text(section.sh_size, '\0');
        if (!ReadAt(in, section.sh_offset, text.data(), text.size())) return false;
        text.resize(std::strlen(text.c_str()));
        if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
            return false;
        version = text;
        return true;
    }
    return false;
}
}  // namespace tvc::update
