// Stored passwords: the FEAL-8 primitives, the salt-keyed cascade, the text
// form, and the enciphering tool as a user runs it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "fealencr.h"
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

std::string encipher(const Salt &salt, const std::string &password) {
    char text[NETPASSWORD_TEXT_LENGTH + 1];
    EXPECT_EQ(com_initialize_hex_strings(chars(salt), 8, password.data(),
                                         static_cast<int>(password.size()), text),
              CS_SUCCEED);
    return text;
}

// The decoded password, or "<refused>" with the output checked untouched.
std::string decode(const std::string &text, const Salt &salt = kDriverSalt, int saltlen = 8) {
    char plain[513];
    std::memset(plain, '#', sizeof plain);
    int length = -7;
    if (com_uninitialize_hex_strings(chars(salt), saltlen, text.c_str(),
                                     static_cast<int>(text.size()), plain, &length) != CS_SUCCEED) {
        EXPECT_EQ(length, -7);
        EXPECT_EQ(plain[0], '#');
        return "<refused>";
    }
    EXPECT_EQ(plain[length], '#');
    return std::string(plain, static_cast<std::size_t>(length));
}

const std::string kThirtyTwo = "0123456789abcdefghijklmnopqrstuv";

}  // namespace

TEST(Feal8, PublishedScheduleMeetsThePublishedTestVector) {
    const OCTET key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    const OCTET cipher[8] = {0xce, 0xef, 0x2c, 0x86, 0xf2, 0x49, 0x07, 0x52};
    const DOCTET subkeys[16] = {0xdf3b, 0xca36, 0xf17c, 0x1aec, 0x45a5, 0xb9c7, 0x26eb, 0xad25,
                                0x8b2a, 0xecb7, 0xac50, 0x9d4c, 0x22cd, 0x479b, 0xa8d5, 0x0cb5};
    FEAL_KEYSCHED schedule;
    com__charbuf_activate_published(key, schedule);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(schedule[k][0] << 8 | schedule[k][1], subkeys[k]) << k;

    const OCTET zeros[8] = {};
    OCTET out[8];
    com__charbuf_uninitialize(cipher, out, schedule);
    EXPECT_EQ(0, std::memcmp(out, zeros, 8));
    com__charbuf_initialize(zeros, out, schedule);
    EXPECT_EQ(0, std::memcmp(out, cipher, 8));
}

TEST(StoredPassword, DecodesTheCascadeOfWorkingKeysTheSaltSelects) {
    // Built up from the stored rows, independently of the decoder's tables.
    const auto reference = [](const Salt &s, const OCTET record[33]) {
        std::vector<int> rows;
        for (std::size_t i = 0; i < 8; ++i) rows.push_back(2 + (s[7 - i] + static_cast<int>(7 - i)) * 3 % 254);
        rows.push_back(2 + s[0] % 254);
        OCTET work[32];
        for (int b = 0; b < 4; ++b) {
            std::memcpy(work + 8 * b, record + 8 * b, 8);
            for (int row : rows) {
                OCTET key[8], out[8];
                for (int j = 0; j < 8; ++j)
                    key[j] = Com__Enkeys[row][8 * b + j] ^ Com__Enkeys[row - 1][8 * b + j];
                FEAL_KEYSCHED schedule;
                com__charbuf_activate(key, schedule);
                com__charbuf_uninitialize(work + 8 * b, out, schedule);
                std::memcpy(work + 8 * b, out, 8);
            }
        }
        std::string password;
        for (int j = 0; j < record[32]; ++j) password += static_cast<char>(work[(j + s[0]) % 32]);
        return password;
    };
    std::mt19937 random(33);
    for (const Salt &salt : kCornerSalts) {
        OCTET record[33];
        for (OCTET &byte : record) byte = static_cast<OCTET>(random());
        record[32] = 40;
        char plain[255];
        int length = 0;
        ASSERT_EQ(com__string_uninitialize(chars(salt), 8, record, 33, plain, &length), 1);
        EXPECT_EQ(std::string(plain, static_cast<std::size_t>(length)), reference(salt, record)) << int(salt[0]);
        EXPECT_EQ(com__string_uninitialize(chars(salt), 7, record, 33, plain, &length), 0);
        EXPECT_EQ(com__string_uninitialize(chars(salt), 8, record, 32, plain, &length), 0);
    }
}

TEST(StoredPassword, EncipheredPasswordsDecodeUnderEverySalt) {
    const std::string passwords[] = {"", "x", kThirtyTwo.substr(0, 31), kThirtyTwo,
                                     kThirtyTwo + kThirtyTwo.substr(0, 8), "p\xff\x80\x01"};
    std::vector<Salt> salts(std::begin(kCornerSalts), std::end(kCornerSalts));
    salts.push_back(kDriverSalt);
    for (const Salt &salt : salts)
        for (const std::string &password : passwords) {
            const std::string text = encipher(salt, password);
            ASSERT_EQ(text.size(), 70u);
            EXPECT_EQ(text.substr(0, 4), "0x01");
            EXPECT_EQ(decode(text, salt), password) << int(salt[0]) << " " << password.size();
        }
    // The filler is random: the same password never gives the same text.
    EXPECT_NE(encipher(kDriverSalt, "x"), encipher(kDriverSalt, "x"));
    // A text stored before still decodes: it pins the driver's key schedule,
    // which drops a term of the published one.
    EXPECT_EQ(decode("0x01dcf0dadb9b4348f548669ec4802b476a27b05ba7ff24b43922526c06569e860806"), "secret");
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
    const std::string text = encipher(kDriverSalt, "secret");
    std::string upper = text;
    for (std::size_t i = 2; i < upper.size(); ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
    EXPECT_EQ(decode(upper), "secret");

    std::string bad_digit = text, space = text;
    bad_digit[37] = 'g';
    space[69] = ' ';
    const std::string refused[] = {text.substr(0, 69), text + "0", "0x02" + text.substr(4),
                                   "0X01" + text.substr(4), bad_digit, space, "0x", ""};
    for (const std::string &bad : refused) EXPECT_EQ(decode(bad), "<refused>") << bad;
    EXPECT_EQ(decode(text, kDriverSalt, 7), "<refused>");
}

// The enciphering tool as a user runs it: its text opens a driver session.
TEST(Velenc, TextFromStandardInputDecodesToThePasswordAndNonRepeatingLongOnesAreRefused) {
    const std::string velenc = VELDLDAP_BINARY_DIR "/dist/bin/velenc";
    const auto run = veldldap::run_program({velenc, "--stdin"}, {.input = "bind secret\n"});
    ASSERT_TRUE(run.ok()) << run.summary();
    ASSERT_EQ(run.out.size(), 71u);
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(decode(run.out.substr(0, 70)), "bind secret");
    // Empty input is more often a slip than the empty password.
    const auto empty = veldldap::run_program({velenc, "--stdin"});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_NE(empty.err.find("--allow-empty"), std::string::npos) << empty.err;
    EXPECT_EQ(decode(veldldap::run_program({velenc, "--stdin", "--allow-empty"}).out.substr(0, 70)), "");
    Session session("ldap://h:389/o=acme????bindname=cn=admin,o=acme?" + run.out);
    ASSERT_TRUE(session.opened());
    EXPECT_STREQ(session.state().cur.password, "bind secret");
    EXPECT_STREQ(session.state().def.password, "bind secret");

    const auto refused = veldldap::run_program({velenc, "--stdin"}, {.input = kThirtyTwo + "!\n"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("the driver rebuilds a longer password by repeating them"), std::string::npos)
        << refused.err;
}
