#pragma once
// Names the transform kernels in test output.

#include "cipher/cipherengine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace veilshot::cipher {

inline void PrintTo(CipherEngine::Kernel kernel, std::ostream *os)
{
    *os << (kernel == CipherEngine::Kernel::Fast ? "Fast" : "Reference");
}

inline std::string KernelName(const ::testing::TestParamInfo<CipherEngine::Kernel> &info)
{
    return info.param == CipherEngine::Kernel::Fast ? "Fast" : "Reference";
}

}  // namespace veilshot::cipher
