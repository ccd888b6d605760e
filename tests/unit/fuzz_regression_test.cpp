// Inputs the fuzz targets found, kept as cases.  Texts sit at the very end of
// a readable page with an unreadable page after it, so that reading one byte
// past them faults in any build, not only under AddressSanitizer.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "netenc.h"

namespace {

// A copy of `text` (no terminator) ending right before a guard page.
class GuardedText {
public:
    explicit GuardedText(const std::string &text) {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        void *pages = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) throw std::runtime_error("mmap");
        base_ = static_cast<char *>(pages);
        ::mprotect(base_ + page_, page_, PROT_NONE);
        data_ = base_ + page_ - text.size();
        std::memcpy(data_, text.data(), text.size());
    }
    ~GuardedText() { ::munmap(base_, 2 * page_); }
    GuardedText(const GuardedText &) = delete;
    GuardedText &operator=(const GuardedText &) = delete;

    const char *data() const { return data_; }

private:
    std::size_t page_ = 0;
    char *base_ = nullptr;
    char *data_ = nullptr;
};

const std::string kStoredSecret =
    "0x01dcf0dadb9b4348f548669ec4802b476a27b05ba7ff24b43922526c06569e860806";

// The decoded password of `text` placed before a guard page, or "<refused>".
std::string decode_guarded(const std::string &text) {
    const GuardedText guarded(text);
    char plain[513];
    int plainlen = -1;
    if (com_uninitialize_hex_strings(reinterpret_cast<const char *>(OS), sizeof OS,
                                     guarded.data(), static_cast<int>(text.size()), plain,
                                     &plainlen) != CS_SUCCEED) {
        EXPECT_EQ(plainlen, -1);
        return "<refused>";
    }
    return std::string(plain, static_cast<std::size_t>(plainlen));
}

}  // namespace

// fuzz_hex_password: the one-byte text "0" was read four bytes deep for the
// "0x01" prefix before its length was looked at.
TEST(FuzzRegression, StoredPasswordShorterThanItsPrefixIsRefusedWithoutReadingPastIt) {
    for (std::size_t length = 0; length < kStoredSecret.size(); ++length)
        EXPECT_EQ(decode_guarded(kStoredSecret.substr(0, length)), "<refused>") << length;
    EXPECT_EQ(decode_guarded(kStoredSecret), "secret");
}
