/*
 * The names an import file has used so far, to find a second entry of the
 * same name in the check pass.  Only 64-bit hashes of the names are kept,
 * in an open-addressing table of at most twice as many slots as names: 8 to
 * 16 bytes per distinct name, whatever the names' length.  A hash met twice
 * only makes the name a candidate; the check pass then compares the names
 * themselves, so a collision of two different names is never reported as a
 * duplicate.
 */
#ifndef VELDIR_NAME_HASHES_H
#define VELDIR_NAME_HASHES_H

#include <cstdint>
#include <string_view>
#include <vector>

class NameHashes {
public:
    static std::uint64_t hash(std::string_view name);

    // Adds the hash; false when it was there already.
    bool insert(std::uint64_t hash);

private:
    void grow();

    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);  // 0: free
    std::size_t used_ = 0;
};

#endif
