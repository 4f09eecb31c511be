#include "files/securememory.h"

#include <string.h>

#include <utility>

namespace veilshot {

void SecureWipe(void *data, std::size_t length) noexcept
{
    if (data && length)
        ::explicit_bzero(data, length);
}

SecureBytes::SecureBytes(std::size_t size)
    : data_(std::make_unique_for_overwrite<std::uint8_t[]>(size))
    , size_(size)
{
}

SecureBytes::~SecureBytes()
{
    SecureWipe(data_.get(), size_);
}

SecureBytes::SecureBytes(SecureBytes &&other) noexcept
    : data_(std::move(other.data_))
    , size_(std::exchange(other.size_, 0))
{
}

SecureBytes &SecureBytes::operator=(SecureBytes &&other) noexcept
{
    if (this != &other) {
        SecureWipe(data_.get(), size_);
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

}  // namespace veilshot
