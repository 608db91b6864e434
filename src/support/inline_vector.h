// A vector that keeps its first N elements inside itself: the short lists
// built for each method or instruction block then cost no allocation.
#pragma once

#include <cstddef>
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

    void push_back(const T &value) {
        if (size_ < N) {
            inline_[size_++] = value;
            return;
        }
        if (size_ == N) heap_.assign(inline_, inline_ + N);
        heap_.push_back(value);
        ++size_;
    }
    void append(const T *values, size_t count) {
        for (size_t i = 0; i < count; ++i) push_back(values[i]);
    }
    void clear() {
        size_ = 0;
        heap_.clear();
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
    T inline_[N]{};
    std::vector<T> heap_;  // every element once there are more than N
    size_t size_ = 0;
};
