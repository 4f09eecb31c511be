#pragma once
// Memory that held secrets (codes, keys, deciphered photos) is overwritten before it is let go.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace veilshot {

// Overwrites memory that held secrets, in a way the compiler may not drop.
void SecureWipe(void *data, std::size_t length) noexcept;

// A buffer of bytes that is overwritten before it is released: a deciphered body, a run's file
// data.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size);  // uninitialised
    ~SecureBytes();
    SecureBytes(SecureBytes &&other) noexcept;
    SecureBytes &operator=(SecureBytes &&other) noexcept;

    std::uint8_t *data() { return data_.get(); }
    const std::uint8_t *data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

}  // namespace veilshot
