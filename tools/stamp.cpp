// stamp.cpp: vorla_stamp FILE appends to the program file the trailer that
// its start-up check verifies: the CRC-32 of every byte before it. A file
// that already ends with a trailer gets it replaced, so stamping twice
// changes nothing, and a file stripped or otherwise rewritten after the
// build (which drops or invalidates the old trailer) can be stamped again.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "vorla/integrity.h"
#include "zizezaz/str/str.h"

static int Fail(const char* what, const char* path) {
    std::fprintf(stderr, "vorla_stamp: %s %s\n", what, path);
    return 1;
}

static bool ReadWhole(const char* path, std::vector<unsigned char>* bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    unsigned char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorla_stamp FILE\n");
        return 2;
    }
    const char* path = argv[1];
    std::vector<unsigned char> bytes;
    if (!ReadWhole(path, &bytes)) return Fail("cannot read", path);

    std::uint32_t old = 0;
    std::size_t covered = bytes.size();
    if (AppStampDecode(bytes.data(), bytes.size(), &old)) covered -= sizeof(AppStamp);
    AppStamp stamp;
    AppStampEncode(Crc32Block(0, bytes.data(), covered), &stamp);

    // Written in place: over the old trailer, or after the last byte.
    std::FILE* file = std::fopen(path, "r+b");
    if (file == nullptr) return Fail("cannot open for writing", path);
    bool ok = static_cast<unsigned long long>(covered) <= 0x7FFFFFFFull &&
              std::fseek(file, static_cast<long>(covered), SEEK_SET) == 0 &&
              std::fwrite(&stamp, sizeof stamp, 1, file) == 1;
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) return Fail("cannot write the trailer to", path);
    return 0;
}
