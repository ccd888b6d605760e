/*
 * Of many items that come in any order (problems of the check pass, entries
 * of one outcome of an import, from several threads), the first `limit` by
 * their place in the file, and how many there were: memory stays bounded
 * however large the file is.
 */
#ifndef VELDIR_FIRST_IN_FILE_H
#define VELDIR_FIRST_IN_FILE_H

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

template <typename T>
class FirstInFile {
public:
    explicit FirstInFile(std::size_t limit) : limit_(limit) {}

    void add(T item) {
        ++total_;
        if (limit_ == 0) return;
        items_.push_back(std::move(item));
        if (items_.size() >= 2 * limit_) keep_first();
    }

    std::size_t total() const { return total_; }
    std::size_t limit() const { return limit_; }

    // In file order, at most `limit`.
    std::vector<T> items() const {
        FirstInFile copy = *this;
        copy.keep_first();
        return std::move(copy.items_);
    }

private:
    static bool before(const T &left, const T &right) {
        if constexpr (requires { left.column; }) {
            return std::pair(left.line, left.column) < std::pair(right.line, right.column);
        } else {
            return left.line < right.line;
        }
    }

    void keep_first() {
        std::stable_sort(items_.begin(), items_.end(), before);
        if (items_.size() > limit_) items_.resize(limit_);
    }

    std::size_t limit_;
    std::size_t total_ = 0;
    std::vector<T> items_;
};

#endif
