/*
 * Buffers that hold clear passwords.  They are wiped when they go out of
 * scope, with a wipe the compiler may not remove as a dead store.
 */
#ifndef VELDLDAP_LDAP_SECRET_H
#define VELDLDAP_LDAP_SECRET_H

#include <cstddef>
#include <cstring>

inline void gdd__wipe(void *memory, std::size_t size) { explicit_bzero(memory, size); }

template <std::size_t Size>
class SecretBuffer {
public:
    SecretBuffer() { std::memset(bytes_, 0, Size); }
    ~SecretBuffer() { gdd__wipe(bytes_, Size); }
    SecretBuffer(const SecretBuffer &) = delete;
    SecretBuffer &operator=(const SecretBuffer &) = delete;

    char *data() { return bytes_; }
    static constexpr std::size_t size() { return Size; }

private:
    char bytes_[Size];
};

#endif
