#include "lib/enforce/linux/ElfEngine.h"

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace enforce {
namespace {

constexpr std::size_t kMaxName = 256;
constexpr std::uint16_t kMaxHeaders = 256;
constexpr std::uint64_t kMaxDynamic = 64 << 10;
constexpr int kMaxChain = 64;  // symbols compared per lookup, at most (real chains: a few)

// The engines' entry points: a library that defines one is that engine.
struct EntryPoint {
    const char* symbol;
    Engine engine;
};
constexpr EntryPoint kEntryPoints[] = {
    {"webkit_web_view_new", Engine::WebKitGtk},
    {"XRE_GetBootstrap", Engine::Gecko},
    {"XRE_main", Engine::Gecko},
    {"_ZN15QtWebEngineCore18WebContentsAdapter4loadERK4QUrl", Engine::QtWebEngine},
    {"_ZN14QWebEnginePageC1EP7QObject", Engine::QtWebEngine},
    {"cef_initialize", Engine::Chromium},
};

std::uint32_t GnuHash(std::string_view name) {
    std::uint32_t h = 5381;
    for (unsigned char c : name) h = h * 33 + c;
    return h;
}

class Elf {
  public:
    Elf(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    template <typename T>
    bool Read(std::uint64_t offset, T* out, std::size_t count = 1) const {
        const std::size_t bytes = sizeof(T) * count;
        if (offset > size_ || bytes > size_ - offset) return false;
        return ::pread(fd_, out, bytes, static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes);
    }
    // The NUL-terminated string at `offset`, or nothing.
    std::optional<std::string> String(std::uint64_t offset) const {
        char buf[kMaxName];
        if (offset >= size_) return std::nullopt;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, size_ - offset));
        const ssize_t n = ::pread(fd_, buf, want, static_cast<off_t>(offset));
        if (n <= 0) return std::nullopt;
        const void* end = std::memchr(buf, '\0', static_cast<std::size_t>(n));
        if (!end) return std::nullopt;
        return std::string(buf, static_cast<std::size_t>(static_cast<const char*>(end) - buf));
    }

  private:
    int fd_;
    std::uint64_t size_;
};

struct Dynamic {
    std::vector<Elf64_Phdr> loads;
    std::uint64_t strtab = 0, symtab = 0, gnuHash = 0, soname = 0;
    bool hasSoname = false;

    // The file offset of a virtual address, through the loaded segments.
    std::optional<std::uint64_t> Offset(std::uint64_t vaddr) const {
        for (const Elf64_Phdr& p : loads)
            if (vaddr >= p.p_vaddr && vaddr - p.p_vaddr < p.p_filesz)
                return p.p_offset + (vaddr - p.p_vaddr);
        return std::nullopt;
    }
};

std::optional<Dynamic> ReadDynamic(const Elf& elf) {
    Elf64_Ehdr eh{};
    if (!elf.Read(0, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB ||
        eh.e_phentsize != sizeof(Elf64_Phdr) || eh.e_phnum == 0 || eh.e_phnum > kMaxHeaders)
        return std::nullopt;
    std::vector<Elf64_Phdr> headers(eh.e_phnum);
    if (!elf.Read(eh.e_phoff, headers.data(), headers.size())) return std::nullopt;
    Dynamic d;
    const Elf64_Phdr* dynamic = nullptr;
    for (const Elf64_Phdr& p : headers) {
        if (p.p_type == PT_LOAD) d.loads.push_back(p);
        if (p.p_type == PT_DYNAMIC) dynamic = &p;
    }
    if (!dynamic || dynamic->p_filesz > kMaxDynamic) return std::nullopt;
    std::vector<Elf64_Dyn> entries(dynamic->p_filesz / sizeof(Elf64_Dyn));
    if (!elf.Read(dynamic->p_offset, entries.data(), entries.size())) return std::nullopt;
    std::uint64_t strtab = 0, symtab = 0, gnuHash = 0;
    for (const Elf64_Dyn& e : entries) {
        if (e.d_tag == DT_NULL) break;
        if (e.d_tag == DT_STRTAB) strtab = e.d_un.d_ptr;
        if (e.d_tag == DT_SYMTAB) symtab = e.d_un.d_ptr;
        if (e.d_tag == DT_GNU_HASH) gnuHash = e.d_un.d_ptr;
        if (e.d_tag == DT_SONAME) {
            d.soname = e.d_un.d_val;
            d.hasSoname = true;
        }
    }
    const auto s = d.Offset(strtab);
    if (!s) return std::nullopt;
    d.strtab = *s;
    d.symtab = d.Offset(symtab).value_or(0);
    d.gnuHash = d.Offset(gnuHash).value_or(0);
    if (!symtab || !gnuHash) d.symtab = d.gnuHash = 0;
    return d;
}

// Whether the library defines `name`, looked up as the dynamic loader does.
bool Defines(const Elf& elf, const Dynamic& d, std::string_view name) {
    if (!d.gnuHash || !d.symtab) return false;
    std::uint32_t header[4];  // buckets, first hashed symbol, bloom words, bloom shift
    if (!elf.Read(d.gnuHash, header, 4) || header[0] == 0 || header[2] == 0) return false;
    const std::uint32_t buckets = header[0], first = header[1], words = header[2],
                        shift = header[3] & 63;
    const std::uint32_t h = GnuHash(name);
    std::uint64_t word = 0;
    const std::uint64_t bloom = d.gnuHash + 16;
    if (!elf.Read(bloom + 8ull * ((h / 64) % words), &word)) return false;
    const std::uint64_t mask = (1ull << (h % 64)) | (1ull << ((h >> shift) % 64));
    if ((word & mask) != mask) return false;
    const std::uint64_t bucketsAt = bloom + 8ull * words;
    std::uint32_t index = 0;
    if (!elf.Read(bucketsAt + 4ull * (h % buckets), &index) || index < first) return false;
    const std::uint64_t chain = bucketsAt + 4ull * buckets;
    for (int i = 0; i < kMaxChain; ++i, ++index) {
        std::uint32_t value = 0;
        if (!elf.Read(chain + 4ull * (index - first), &value)) return false;
        if ((value | 1) == (h | 1)) {
            Elf64_Sym sym{};
            if (!elf.Read(d.symtab + sizeof(Elf64_Sym) * index, &sym)) return false;
            if (sym.st_shndx != SHN_UNDEF && elf.String(d.strtab + sym.st_name) == name)
                return true;
        }
        if (value & 1) return false;  // the bucket's chain ends here
    }
    return false;
}

}  // namespace

Engine EngineOfElf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Engine::None;
    const Elf elf(fd, static_cast<std::uint64_t>(st.st_size));
    const std::optional<Dynamic> d = ReadDynamic(elf);
    if (!d) return Engine::None;
    if (d->hasSoname) {
        if (const auto soname = elf.String(d->strtab + d->soname)) {
            const Engine engine = EngineOfLibraryName(*soname);
            if (engine != Engine::None) return engine;
        }
    }
    for (const EntryPoint& e : kEntryPoints)
        if (Defines(elf, *d, e.symbol)) return e.engine;
    return Engine::None;
}

}  // namespace enforce
