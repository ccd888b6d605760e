// Stored passwords: the text form, the salt-keyed cascade behind it, and the
// enciphering tool as a user runs it.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "netenc.h"
#include "support/session.h"

namespace {

using Salt = std::array<unsigned char, 8>;

const char *chars(const Salt &salt) { return reinterpret_cast<const char *>(salt.data()); }
const Salt kDriverSalt = {OS[0], OS[1], OS[2], OS[3], OS[4], OS[5], OS[6], OS[7]};

// S[0] = 254 and 255 wrap to the first rows; S[3] = 251 and S[7] = 162 make
// (S[i] + i) * 3 mod 254 hit 0 and 253, the first and last working rows.
const Salt kCornerSalts[] = {
    {254, 1, 2, 3, 4, 5, 6, 7}, {255, 9, 8, 7, 6, 5, 4, 3},    {0, 0, 0, 0, 0, 0, 0, 0},
    {0x10, 0x20, 0x30, 251, 0x50, 0x60, 0x70, 162}, {255, 255, 255, 255, 255, 255, 255, 255},
};

// Stored before, so it pins the whole decoder: the FEAL rounds, the driver's
// key schedule (which drops a term of the published one), the working-key
// rows the salt selects and the password's offset.
const std::string kStoredSecret = "0x01dcf0dadb9b4348f548669ec4802b476a27b05ba7ff24b43922526c06569e860806";

const std::string kThirtyTwo = "0123456789abcdefghijklmnopqrstuv";

// A copy of `text` (no terminator) ending right before an unreadable page:
// reading one byte past it faults in any build, not only under AddressSanitizer.
class GuardedText {
public:
    explicit GuardedText(const std::string &text) {
        void *pages = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
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
    std::size_t page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    char *base_ = nullptr;
    char *data_ = nullptr;
};

std::string encipher(const Salt &salt, const std::string &password) {
    char text[NETPASSWORD_TEXT_LENGTH + 1];
    EXPECT_EQ(com_initialize_hex_strings(chars(salt), 8, password.data(), static_cast<int>(password.size()), text),
              CS_SUCCEED);
    return text;
}

// The decoded password, or "<refused>" with the output checked untouched.
std::string decode(const std::string &text, const Salt &salt = kDriverSalt, int saltlen = 8) {
    const GuardedText guarded(text);
    char plain[513];
    std::memset(plain, '#', sizeof plain);
    int length = -7;
    if (com_uninitialize_hex_strings(chars(salt), saltlen, guarded.data(), static_cast<int>(text.size()), plain,
                                     &length) != CS_SUCCEED) {
        EXPECT_EQ(length, -7);
        EXPECT_EQ(plain[0], '#');
        return "<refused>";
    }
    EXPECT_EQ(plain[length], '#');
    return std::string(plain, static_cast<std::size_t>(length));
}

}  // namespace

TEST(StoredPassword, EncipheredPasswordsDecodeUnderEverySalt) {
    EXPECT_EQ(decode(kStoredSecret), "secret");
    // Stored under a salt whose byte 0 wraps the last working-key row.
    EXPECT_EQ(decode("0x016b0d06687f6817529ff17476b80f3681eabea71990c76f5d18d6191fff0e6d7d06", kCornerSalts[1]),
              "secret");
    const std::string passwords[] = {"", "x", kThirtyTwo.substr(0, 31), kThirtyTwo,
                                     kThirtyTwo + kThirtyTwo.substr(0, 8), "p\xff\x80\x01"};
    std::vector<Salt> salts(std::begin(kCornerSalts), std::end(kCornerSalts));
    salts.push_back(kDriverSalt);
    for (const Salt &salt : salts)
        for (const std::string &password : passwords) {
            const std::string text = encipher(salt, password);
            ASSERT_EQ(text.size(), 70u);
            EXPECT_EQ(decode(text, salt), password) << int(salt[0]) << " " << password.size();
        }
    // The filler is random: the same password never gives the same text.
    EXPECT_NE(encipher(kDriverSalt, "x"), encipher(kDriverSalt, "x"));
}

TEST(StoredPassword, EncipheringRefusesWhatCannotBeStored) {
    char text[NETPASSWORD_TEXT_LENGTH + 1] = "untouched";
    const std::string not_cyclic = kThirtyTwo + "X";
    const std::string too_long(256, 'a');
    EXPECT_EQ(com_initialize_hex_strings(chars(kDriverSalt), 8, not_cyclic.data(), 33, text), CS_FAIL);
    EXPECT_EQ(com_initialize_hex_strings(chars(kDriverSalt), 8, too_long.data(), 256, text), CS_FAIL);
    EXPECT_EQ(com_initialize_hex_strings(chars(kDriverSalt), 7, "x", 1, text), CS_FAIL);
    EXPECT_STREQ(text, "untouched");
    EXPECT_TRUE(com_password_storable(too_long.data(), 255));
}

TEST(StoredPassword, LengthByteSetsHowManyBytesAndWrapsAfterThirtyTwo) {
    const std::string text = encipher(kDriverSalt, kThirtyTwo);
    EXPECT_EQ(decode(text.substr(0, 68) + "00"), "");
    EXPECT_EQ(decode(text.substr(0, 68) + "28"), kThirtyTwo + kThirtyTwo.substr(0, 8));
    EXPECT_EQ(decode(text.substr(0, 68) + "ff").size(), 255u);
}

TEST(StoredPassword, RefusesMalformedTextsAndAcceptsUpperCaseDigits) {
    std::string upper = kStoredSecret;
    for (std::size_t i = 2; i < upper.size(); ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
    EXPECT_EQ(decode(upper), "secret");

    std::string bad_digit = kStoredSecret, space = kStoredSecret;
    bad_digit[37] = 'g';
    space[69] = ' ';
    std::vector<std::string> refused = {kStoredSecret + "0", "0x02" + kStoredSecret.substr(4),
                                        "0X01" + kStoredSecret.substr(4), bad_digit, space};
    // Found by fuzzing: a text shorter than the "0x01" prefix was read past its end.
    for (std::size_t length = 0; length < kStoredSecret.size(); ++length)
        refused.push_back(kStoredSecret.substr(0, length));
    for (const std::string &bad : refused) EXPECT_EQ(decode(bad), "<refused>") << bad;
    EXPECT_EQ(decode(kStoredSecret, kDriverSalt, 7), "<refused>");
}

// The enciphering tool as a user runs it: its text opens a driver session.
TEST(Velenc, TextFromStandardInputDecodesToThePasswordAndNonRepeatingLongOnesAreRefused) {
    const std::string velenc = VELDLDAP_BINARY_DIR "/dist/bin/velenc";
    const auto run = veldldap::run_program({velenc, "--stdin"}, {.input = "bind secret\n"});
    ASSERT_TRUE(run.ok()) << run.summary();
    ASSERT_EQ(run.out.size(), 71u);
    EXPECT_EQ(run.out.back(), '\n');
    // Empty input is more often a slip than the empty password.
    const auto empty = veldldap::run_program({velenc, "--stdin"});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_NE(empty.err.find("--allow-empty"), std::string::npos) << empty.err;
    EXPECT_EQ(decode(veldldap::run_program({velenc, "--stdin", "--allow-empty"}).out.substr(0, 70)), "");
    Session session("ldap://h:389/o=acme????bindname=cn=admin,o=acme?" + run.out);
    ASSERT_TRUE(session.opened());
    EXPECT_STREQ(session.state().cur.password, "bind secret");

    const auto refused = veldldap::run_program({velenc, "--stdin"}, {.input = kThirtyTwo + "!\n"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("the driver rebuilds a longer password by repeating them"), std::string::npos)
        << refused.err;
}
