// A vector that keeps its first N elements inside itself: the short lists
// built for each method or instruction block then cost no allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

template <typename T, size_t N>
class ZVInlineVector {
public:
    ZVInlineVector() = default;
    ZVInlineVector(const ZVInlineVector &other) { append(other.data(), other.size()); }
    ZVInlineVector &operator=(const ZVInlineVector &other) {
        if (this != &other) {
            clear();
            append(other.data(), other.size());
        }
        return *this;
    }
    // A moved list leaves its source empty; its block moves with it.
    ZVInlineVector(ZVInlineVector &&other) noexcept { take(other); }
    ZVInlineVector &operator=(ZVInlineVector &&other) noexcept {
        if (this != &other) take(other);
        return *this;
    }

    void push_back(const T &value) {
        if (size_ < N) {
            inline_[size_++] = value;
            return;
        }
        if (size_ == N) heap_.assign(inline_, inline_ + N);
        heap_.push_back(value);
        ++size_;
    }
    // A copy that outgrows the inline room moves to a block of its size at
    // once, not by repeated growth.
    void append(const T *values, size_t count) {
        size_t total = size_ + count;
        if (total <= N) {
            // Its own elements lie before the room they are copied to.
            std::copy(values, values + count, inline_ + size_);
            size_ = total;
            return;
        }
        if (size_ > N && values >= heap_.data() && values < heap_.data() + heap_.size()) {
            // Its own elements: copied first, as growth moves them.
            std::vector<T> copy(values, values + count);
            heap_.insert(heap_.end(), copy.begin(), copy.end());
            size_ = total;
            return;
        }
        if (size_ <= N) {
            heap_.reserve(total);
            heap_.assign(inline_, inline_ + size_);
        }
        heap_.insert(heap_.end(), values, values + count);
        size_ = total;
    }
    void clear() {
        size_ = 0;
        heap_.clear();
    }
    // Keeps the first count elements (nothing changes when there are fewer).
    void truncate(size_t count) {
        if (count >= size_) return;
        if (size_ > N && count <= N) {
            std::copy(heap_.begin(), heap_.begin() + static_cast<std::ptrdiff_t>(count), inline_);
            heap_.clear();
        } else if (size_ > N) {
            heap_.resize(count);
        }
        size_ = count;
    }
    T *data() { return size_ > N ? heap_.data() : inline_; }
    const T *data() const { return size_ > N ? heap_.data() : inline_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T &operator[](size_t i) { return data()[i]; }
    const T &operator[](size_t i) const { return data()[i]; }
    T &back() { return data()[size_ - 1]; }
    T *begin() { return data(); }
    T *end() { return data() + size_; }
    const T *begin() const { return data(); }
    const T *end() const { return data() + size_; }

private:
    void take(ZVInlineVector &other) {
        size_ = other.size_;
        if (size_ > N) {
            heap_ = std::move(other.heap_);
        } else {
            std::copy(other.inline_, other.inline_ + size_, inline_);
            heap_.clear();
        }
        other.clear();
    }

    // Not zero-filled: only the first size_ elements are ever read, and the
    // lists built per method would otherwise clear their room each time.
    T inline_[N];
    std::vector<T> heap_;  // every element once there are more than N
    size_t size_ = 0;
};
