// integrity.cpp: verifies the program file's stamp at start-up.

#include "vorla/integrity.h"

#include "platform/platform.h"
#include "zizezaz/core/log.h"
#include "zizezaz/str/str.h"

static constexpr char SOURCE_NAME[] = "winmain";

// Small enough for the stack, large enough that the file takes few reads.
static constexpr std::size_t PIECE_SIZE = 8192;

// 1 when exactly length bytes were read; the file ending early is a failure.
static std::int32_t ReadExactly(std::uintptr_t file, unsigned char* buffer, std::size_t length) {
    while (length > 0) {
        std::size_t got = 0;
        if (!PlatFileRead(file, buffer, length, &got) || got == 0) return 0;
        buffer += got;
        length -= got;
    }
    return 1;
}

std::int32_t AppCheckIntegrity(const char* path) {
    if (path == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    std::uintptr_t file = 0;
    std::uint64_t size = 0;
    if (!PlatFileOpen(path, &file, &size)) return 0;

    std::int32_t intact = 0;
    if (size >= sizeof(AppStamp)) {
        unsigned char piece[PIECE_SIZE];
        std::uint64_t covered = size - sizeof(AppStamp);
        std::uint32_t crc = 0;
        std::int32_t ok = 1;
        while (ok && covered > 0) {
            const std::size_t length =
                covered < PIECE_SIZE ? static_cast<std::size_t>(covered) : PIECE_SIZE;
            ok = ReadExactly(file, piece, length);
            if (ok) crc = Crc32Block(crc, piece, length);
            covered -= length;
        }
        std::uint32_t recorded = 0;
        if (ok && ReadExactly(file, piece, sizeof(AppStamp)) &&
            AppStampDecode(piece, sizeof(AppStamp), &recorded) && recorded == crc) {
            intact = 1;
        }
    }
    PlatFileClose(file);
    return intact;
}
