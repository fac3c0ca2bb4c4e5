#include "DetectionKit/ModuleFile.h"

#include "DetectionKit/Recognition.h"
#include "Support/SafeFile.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// This program's own ELF header, placed by the linker: a module must be built for its machine.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((weak, visibility("hidden")));

namespace DetectionKit::ModuleFile {

namespace {

using Header = ElfW(Ehdr);
using ProgramHeader = ElfW(Phdr);
using SectionHeader = ElfW(Shdr);

// What is wrong with a module's file, in words for the log.
struct Damaged {
    QString what;
};

quint64 tableLength(quint64 count, quint64 entrySize) {
    quint64 length = 0;
    return __builtin_mul_overflow(count, entrySize, &length) ? std::numeric_limits<quint64>::max() : length;
}

void requireInside(const QString& part, quint64 offset, quint64 length, quint64 size) {
    quint64 end = 0;
    if (__builtin_add_overflow(offset, length, &end)) throw Damaged{"the end of " + part + " lies past any file's end"};
    if (end > size)
        throw Damaged{QStringLiteral("cut short at %1 bytes, before the end of %2 (byte %3)").arg(size).arg(part).arg(end)};
}

// `count` entries from `offset`, which lie inside the file.
template <typename Entry>
std::vector<Entry> readTable(Support::SafeFile::OpenFile& file, quint64 offset, quint64 count) {
    if (count == 0) return {};
    Support::SafeFile::Failure failure;
    const std::optional<QByteArray> bytes = file.readAt(qint64(offset), qint64(count * sizeof(Entry)), &failure);
    if (!bytes) throw Damaged{"could not be read: " + failure.reason};
    if (quint64(bytes->size()) != count * sizeof(Entry)) throw Damaged{QStringLiteral("cut short while it was read")};
    std::vector<Entry> entries(count);
    std::memcpy(entries.data(), bytes->constData(), std::size_t(bytes->size()));
    return entries;
}

void checkHeader(const Header& header) {
    constexpr unsigned char kClass = __ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32;
    constexpr unsigned char kByteOrder = __BYTE_ORDER == __LITTLE_ENDIAN ? ELFDATA2LSB : ELFDATA2MSB;
    if (header.e_ident[EI_CLASS] != kClass || header.e_ident[EI_DATA] != kByteOrder)
        throw Damaged{QStringLiteral("built for another word size or byte order")};
    if (header.e_type != ET_DYN) throw Damaged{QStringLiteral("not a shared object (ELF type %1)").arg(header.e_type)};
    if (&__ehdr_start && header.e_machine != __ehdr_start.e_machine)
        throw Damaged{QStringLiteral("built for another machine (ELF machine %1)").arg(header.e_machine)};
    if (header.e_phnum == 0 || header.e_phentsize != sizeof(ProgramHeader))
        throw Damaged{QStringLiteral("its program header table is malformed")};
    if (header.e_shoff != 0 && header.e_shentsize != sizeof(SectionHeader))
        throw Damaged{QStringLiteral("its section header table is malformed")};
}

// The segments the loader maps, and the dynamic section it reads first, inside the file.
void checkSegments(Support::SafeFile::OpenFile& file, const Header& header, quint64 size) {
    requireInside(QStringLiteral("its program headers"), header.e_phoff, tableLength(header.e_phnum, sizeof(ProgramHeader)), size);
    const auto segments = readTable<ProgramHeader>(file, header.e_phoff, header.e_phnum);
    std::vector<const ProgramHeader*> loadable;
    for (const ProgramHeader& segment : segments) {
        if (segment.p_type != PT_LOAD) continue;
        loadable.push_back(&segment);
        requireInside(QStringLiteral("its loadable segment %1").arg(loadable.size()), segment.p_offset, segment.p_filesz, size);
    }
    if (loadable.empty()) throw Damaged{QStringLiteral("it has no loadable segment")};
    for (const ProgramHeader& segment : segments) {
        if (segment.p_type != PT_DYNAMIC) continue;
        requireInside(QStringLiteral("its dynamic section"), segment.p_offset, segment.p_filesz, size);
        // Read where it is mapped: outside what the file fills, it would be read from nothing.
        const bool mapped = std::any_of(loadable.begin(), loadable.end(), [&](const ProgramHeader* load) {
            return segment.p_vaddr >= load->p_vaddr && segment.p_filesz <= load->p_filesz &&
                   segment.p_vaddr - load->p_vaddr <= load->p_filesz - segment.p_filesz;
        });
        if (!mapped) throw Damaged{QStringLiteral("its dynamic section lies outside its loadable segments")};
    }
}

// The loader never reads the sections, but a file cut past its last segment is cut all the same:
// the linker puts the section headers last, after the symbols and debugging information.
void checkSections(Support::SafeFile::OpenFile& file, const Header& header, quint64 size) {
    if (header.e_shoff == 0) return;
    quint64 count = header.e_shnum;
    if (count == 0) { // too many for the header: the first section's size holds the count
        requireInside(QStringLiteral("its section headers"), header.e_shoff, sizeof(SectionHeader), size);
        count = readTable<SectionHeader>(file, header.e_shoff, 1).front().sh_size;
    }
    requireInside(QStringLiteral("its section headers"), header.e_shoff, tableLength(count, sizeof(SectionHeader)), size);
    const auto sections = readTable<SectionHeader>(file, header.e_shoff, count);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (sections[i].sh_type != SHT_NULL && sections[i].sh_type != SHT_NOBITS)
            requireInside(QStringLiteral("its section %1").arg(i), sections[i].sh_offset, sections[i].sh_size, size);
}

void check(Support::SafeFile::OpenFile& file) {
    const quint64 size = quint64(file.size());
    if (size == 0) throw Damaged{QStringLiteral("the file is empty")};
    Support::SafeFile::Failure failure;
    const std::optional<QByteArray> start = file.readAt(0, sizeof(Header), &failure);
    if (!start) throw Damaged{"could not be read: " + failure.reason};
    if (start->size() < SELFMAG || std::memcmp(start->constData(), ELFMAG, SELFMAG) != 0)
        throw Damaged{QStringLiteral("not a shared object: it has no ELF header")};
    requireInside(QStringLiteral("its ELF header"), 0, sizeof(Header), size);
    Header header;
    std::memcpy(&header, start->constData(), sizeof header);
    checkHeader(header);
    checkSegments(file, header, size);
    checkSections(file, header, size);
}

} // namespace

void* load(const QString& path) {
    const auto damaged = [&path](const QString& what) {
        return RecognitionError(QStringLiteral("%1: %2").arg(path, what).toStdString(), RecognitionError::Cause::installationDamaged);
    };
    Support::SafeFile::Failure failure;
    std::optional<Support::SafeFile::OpenFile> file = Support::SafeFile::open(path, Support::SafeFile::Links::follow, &failure);
    if (!file) throw damaged(failure.reason);
    try {
        check(*file);
    } catch (const Damaged& damage) {
        throw damaged(damage.what);
    }

    // The loader opens this name anew and reaches the file checked, whatever has been put at the
    // path since. A copy of the descriptor, left open once the module is loaded.
    const int kept = ::fcntl(file->descriptor(), F_DUPFD_CLOEXEC, 0);
    if (kept < 0) throw damaged("could not be opened: " + Support::SafeFile::describe(errno));
    const std::string name = "/proc/self/fd/" + std::to_string(kept);
    void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = ::dlerror();
        ::close(kept);
        QString reason = QString::fromLocal8Bit(error ? error : "the loader refused it");
        const QString ownName = QString::fromStdString(name + ": ");
        if (reason.startsWith(ownName)) reason.remove(0, ownName.size());
        throw damaged(reason);
    }
    return handle;
}

} // namespace DetectionKit::ModuleFile
