#pragma once
// All working memory of the module comes from here. A request that cannot be met throws
// OutOfMemory, which the module boundary raises as MemoryError; nothing aborts the process.

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "core/allocation_hooks.hpp"

namespace tarvo {

class OutOfMemory : public std::bad_alloc {
  public:
    explicit OutOfMemory(std::size_t bytes);
    const char* what() const noexcept override { return message_.c_str(); }
    std::size_t bytes() const noexcept { return bytes_; }

  private:
    std::size_t bytes_;
    std::string message_;  // "memory allocation of <bytes> bytes failed"
};

enum class Fill { uninitialized, zeroed };

// Raw block of `bytes` bytes; throws OutOfMemory. Large blocks are backed by transparent huge
// pages where the kernel offers them, which makes their first touch far cheaper.
void* allocate_bytes(std::size_t bytes, Fill fill);
// The same, or nullptr when the block cannot be had: for the pool's workers, on whose threads
// even a caught exception makes the C++ runtime allocate per-thread data, and a failure of that
// allocation aborts the process.
void* try_allocate_bytes(std::size_t bytes, Fill fill) noexcept;
void release_bytes(void* block) noexcept;

// Owning, move-only array of `count` trivially copyable elements from allocate_bytes.
template <class T>
class Buffer {
  public:
    Buffer() = default;
    Buffer(std::size_t count, Fill fill)
        : data_(static_cast<T*>(allocate_bytes(checked_bytes(count), fill))), size_(count) {}
    Buffer(Buffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { release_bytes(data_); }

    // As the constructor, but without throwing: an empty Buffer when the memory cannot be had.
    static Buffer try_allocate(std::size_t count, Fill fill) noexcept {
        Buffer buffer;
        if (count == 0 || count > SIZE_MAX / sizeof(T)) return buffer;
        buffer.data_ = static_cast<T*>(try_allocate_bytes(count * sizeof(T), fill));
        if (buffer.data_ != nullptr) buffer.size_ = count;
        return buffer;
    }

    T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    T& operator[](std::size_t i) const noexcept { return data_[i]; }
    std::span<T> span() const noexcept { return {data_, size_}; }

  private:
    static std::size_t checked_bytes(std::size_t count) {
        if (count > SIZE_MAX / sizeof(T)) throw OutOfMemory(SIZE_MAX);
        return count * sizeof(T);
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tarvo
