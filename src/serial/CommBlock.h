#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

namespace quav {

/// A zero-filled memory block that changes hands with a message: a thread allocates it,
/// the receiver of the message releases it (by letting it go out of scope).
///
/// The number of blocks alive in the process is counted, so that a lost block shows up.
/// Move-only; safe to hand from one thread to another.
class CommBlock
{
public:
    CommBlock() = default;
    CommBlock(CommBlock&& other) noexcept : m_data(std::move(other.m_data)), m_size(other.m_size)
    {
        other.m_size = 0;
    }
    CommBlock& operator=(CommBlock&& other) noexcept
    {
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        other.m_size = 0;
        return *this;
    }

    /// A new zero-filled block of `size` bytes. Throws std::bad_alloc when there is no memory.
    static CommBlock Allocate(std::size_t size);

    char* Data() { return m_data.get(); }
    const char* Data() const { return m_data.get(); }
    std::size_t Size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }

    /// Releases the block now.
    void Release();

    /// Blocks allocated and not yet released, in the whole process.
    static long LiveBlocks() { return s_live.load(); }

private:
    struct Deleter
    {
        void operator()(char* p) const;
    };

    std::unique_ptr<char[], Deleter> m_data;
    std::size_t m_size = 0;

    static std::atomic<long> s_live;
};

} // namespace quav
