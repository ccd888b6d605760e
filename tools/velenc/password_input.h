/*
 * Reading a password without leaving copies of it behind: one line of a
 * descriptor read a byte at a time into a buffer that is wiped when it goes,
 * and a prompt on the terminal with echo off that puts the terminal back
 * even when a signal ends the process meanwhile.  velenc and veldir's
 * encipher read the password to encipher with it; veldir's -W reads the
 * bind password with it.
 */
#ifndef VELDLDAP_TOOLS_PASSWORD_INPUT_H
#define VELDLDAP_TOOLS_PASSWORD_INPUT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "veldldap/stored_password.h"

// A clear password, wiped when it goes out of scope.  One byte more than a
// storable password, so that a longer line is noticed.
class PasswordBuffer {
public:
    PasswordBuffer() = default;
    ~PasswordBuffer();
    PasswordBuffer(const PasswordBuffer &) = delete;
    PasswordBuffer &operator=(const PasswordBuffer &) = delete;

    char *data() { return bytes_; }
    static constexpr std::size_t capacity() { return VELDLDAP_STORED_PASSWORD_MAX + 1; }
    std::size_t length() const { return length_; }
    void set_length(std::size_t length) { length_ = length; }
    std::string_view view() const { return {bytes_, length_}; }

private:
    char bytes_[VELDLDAP_STORED_PASSWORD_MAX + 1] = {};
    std::size_t length_ = 0;
};

enum class ReadResult { line, too_long, failed };

// Reads up to the newline (dropped) or the end of input; `failed` leaves the
// reason in errno.
ReadResult read_password_line(int fd, PasswordBuffer &buffer);

// Shows `prompt` on the controlling terminal and reads one line there with
// echo off.  False with the reason in `error`.
bool read_password_from_terminal(const char *prompt, PasswordBuffer &buffer, std::string &error);

#endif
